#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, builds the debug configuration, the Debian package and the
# Windows program, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset debug
cmake --build --preset debug
ctest --preset debug

# The Debian package: built, then installed, run, removed and looked over by lintian. The install test
# changes the machine: it runs as root (as CI does) and otherwise says it skipped.
cmake --workflow --preset deb
ctest --preset package

# The Windows build (cross-compiled with mingw-w64) and its tests under Wine.
cmake --preset windows
cmake --build --preset windows
cmake --build --preset windows --target package
ctest --preset windows
