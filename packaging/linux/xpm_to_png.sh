#!/bin/sh
# The program's XPM icon as a PNG of SIZE x SIZE pixels for the hicolor theme, with Netpbm: the XPM's
# transparent pixels become the PNG's alpha. Usage: xpm_to_png.sh SIZE ICON.xpm OUT.png
set -eu
size=$1 icon=$2 out=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# xpmtoppm reads only "static char", as older XPM writers put it.
sed 's/^static const char/static char/' "$icon" | xpmtoppm --alphaout="$work/alpha.pbm" >"$work/image.ppm"
pamscale -width "$size" -height "$size" "$work/image.ppm" >"$work/scaled.ppm"
pamscale -width "$size" -height "$size" "$work/alpha.pbm" 2>/dev/null >"$work/alpha.pgm"
pnmtopng -compression=9 -alpha="$work/alpha.pgm" "$work/scaled.ppm" >"$out"
