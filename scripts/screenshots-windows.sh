#!/usr/bin/env bash
# Screenshots of every window of zarn-vote.exe under Wine, into docs/screenshots/windows/. Wine draws the
# windows' frames itself in a virtual desktop on a virtual X server; each window is cut out of the screen by
# the rectangle the shots program reports. Needs xvfb, wine64, x11-apps and netpbm.
# Argument: the shots program (tools/win32_shots) of a windows build.
set -euo pipefail
cd "$(dirname "$0")/.."

shots=$(realpath "${1:-build/windows/tools/win32_shots/zarn-vote-window-shots.exe}")
wine64=${WINE64:-/usr/lib/wine/wine64}
wineserver=$(dirname "$wine64")/wineserver
out=docs/screenshots/windows
work=$(mktemp -d)
xvfb=
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
env -u DISPLAY "$wine64" wineboot -i >/dev/null 2>&1
"$wineserver" -w

# A game that is not running and no ticks: no notice about the missing game comes up over the windows.
# Two game versions to choose from.
mkdir -p "$work/folder" "$out"
printf '%s\r\n' '[General]' 'First Run=False' 'Interval=0' 'Interval 2=10000' '[All Games]' 'Game Number=2' \
  'Game 1=Delta Force Land Warrior,  V1.00.42' 'Chat 1=&H10FE6C0' 'Console 1=&H11038DC' \
  'Player Start 1=&H10FF2C8' 'Game 2=Delta Force Task Force Dagger' 'Chat 2=&H0' 'Console 2=&H0' \
  'Player Start 2=&H0' >"$work/folder/settings.ini"

for window in main chooser punt-ban about notice; do
  rect=$work/$window.rect
  "$wine64" explorer /desktop=shots,1024x768 "$shots" "$(winepath=$work/folder; echo "Z:${winepath//\//\\}")" \
    "$window" "Z:${rect//\//\\}" >/dev/null 2>&1 &
  for _ in $(seq 300); do [ -s "$rect" ] && break; sleep 0.1; done
  [ -s "$rect" ] || { echo "no $window window came up" >&2; exit 1; }
  sleep 1  # painting
  read -r left top width height < <(tr -d '\r' <"$rect")
  xwd -root -silent | xwdtopnm 2>/dev/null | pamcut -left "$left" -top "$top" -width "$width" -height "$height" |
    pnmtopng >"$out/$window.png"
  echo "$out/$window.png"
  "$wineserver" -k
  "$wineserver" -w
done
