#!/bin/sh
# Runs a program on the display whose number the Xvfb fixture wrote into FILE.
#   on_display.sh FILE PROGRAM [ARGUMENT...]
set -eu
file=$1
shift
DISPLAY=:$(cat "$file")
export DISPLAY
exec "$@"
