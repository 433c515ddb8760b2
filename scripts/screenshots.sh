#!/usr/bin/env bash
# Screenshots of every window of zarn-vote, taken under a virtual X server with a window manager, into
# docs/screenshots/. Needs xvfb, openbox, x11-apps, xdotool and netpbm. Argument: the zarn-vote binary.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/debug/src/zarn-vote}
out=docs/screenshots
screen=:${ZARNVOTE_SCREEN:-97}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$screen" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$screen QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Settings of a game that is not running, with the collection tick off: no notice about the missing game
# comes up over the windows. Two game versions to choose from.
printf '%s\r\n' '[General]' 'First Run=False' 'Interval=0' 'Interval 2=10000' '[All Games]' 'Game Number=2' \
  'Game 1=Delta Force Land Warrior,  V1.00.42' 'Chat 1=&H10FE6C0' 'Console 1=&H11038DC' \
  'Player Start 1=&H10FF2C8' 'Game 2=Delta Force Task Force Dagger' 'Chat 2=&H0' 'Console 2=&H0' \
  'Player Start 2=&H0' >"$work/settings.ini"
"$binary" --dir "$work" >/dev/null 2>&1 &
pids+=($!)

window() { xdotool search --sync --onlyvisible --name "$1" | tail -n 1; }
shot() {  # window id, file name: the window with the frame the window manager put around it
  sleep 0.5
  frame=$(xwininfo -tree -id "$1" | awk '/Parent window id/ {print $4}')
  [ "$(xwininfo -tree -id "$frame" | awk '/Parent window id/ {print $4}')" = "$root" ] || frame=$1
  xwd -silent -id "$frame" | xwdtopnm 2>/dev/null | pnmtopng >"$out/$2.png"
  echo "$out/$2.png"
}

root=$(xwininfo -root | awk '/Window id/ {print $4}')
main=$(window '^Zarn - Vote$')
shot "$main" main-window
menu() {  # access keys: the menu, then the item
  xdotool windowactivate --sync "$main"
  xdotool key "alt+$1"
  sleep 0.3
  xdotool key "$2"
}
menu o c
shot "$(window '^Dialog Caption$')" chooser
menu o p
shot "$(window '^Punt Player$')" punt-ban-dialog
menu h a
shot "$(window '^About$')" about-box
menu o n
notice=$(xdotool search --sync --onlyvisible --name '^Zarn - Vote$' | grep -v "^$main$" | tail -n 1)
sleep 1
# The client area only: xwd of the frame showed a message box's inside black under Xvfb, though it is drawn.
xwd -silent -id "$notice" | xwdtopnm 2>/dev/null | pnmtopng >"$out/notice.png"
echo "$out/notice.png"
