#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, builds the debug configuration and the Windows program, and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset debug
cmake --build --preset debug
ctest --preset debug

# The Windows build (cross-compiled with mingw-w64) and its tests under Wine.
cmake --preset windows
cmake --build --preset windows
cmake --build --preset windows --target package
ctest --preset windows
