#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, builds the debug configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset debug
cmake --build --preset debug
ctest --preset debug
