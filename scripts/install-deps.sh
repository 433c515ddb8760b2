#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; packages already installed are skipped.
set -euo pipefail

# libclang-rt-14-dev: the sanitizer and libFuzzer runtimes for the fuzz preset; installing clang does not
# bring them. libx11-dev: the game link and the game simulator. qt6-base-dev: the window; fonts: text for
# the window and its offscreen tests; xvfb: the tests that need a display; openbox, x11-apps, xdotool,
# netpbm: scripts/screenshots.sh and the demo's screenshot. wine64, g++-mingw-w64-x86-64-posix: the game
# simulator as a Windows program, its tests under Wine and the demo's --wine; googletest: its sources, for
# the Windows program's tests built with the cross compiler; wine32 (from the i386 architecture) and
# g++-mingw-w64-i686-posix: the simulator as a 32-bit program, as the real game is, under Wine.
# The Debian package and its tests: dpkg-dev for the dependencies (dpkg-shlibdeps) and Debian's build flags;
# netpbm (above) also makes its icons; lintian looks it over; man-db finds its manual page; systemd
# verifies its unit (systemd-analyze).
# nlohmann-json3-dev: JSON for the remote console's core (headers only, also for the cross build);
# qt6-httpserver-dev: the remote console's HTTP server in zarn-vote, and qt6-websockets-dev, which its CMake
# files need but Debian 12's package does not bring; curl: the HTTP client of its end-to-end tests and of
# bench/run_remote_bench.sh. chromium: the remote console's page tested and photographed in a real browser,
# headless (scripts/screenshots-remote.sh).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libx11-dev
  qt6-base-dev fonts-dejavu-core fonts-liberation2 xvfb openbox x11-apps xdotool netpbm wine64
  g++-mingw-w64-x86-64-posix googletest wine32 g++-mingw-w64-i686-posix dpkg-dev lintian man-db systemd
  nlohmann-json3-dev qt6-httpserver-dev qt6-websockets-dev curl chromium)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
