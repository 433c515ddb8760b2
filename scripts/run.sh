#!/usr/bin/env bash
# The demo, on a fresh Debian machine: installs what is missing, builds zarn-vote and the game simulator,
# starts the simulator with a scenario in which six players vote Bob (slot 3) out and six vote for a map
# change, starts zarn-vote's window against it at short intervals, and prints the simulator's transcript:
# the punt, the announcement, the map change. Without a display it runs under a virtual X server and
# saves a screenshot of the screen. With --wine the game is the simulator built as a Windows program, run
# under Wine (wine64) in a prefix of its own under build/ (made on the first run, some ten seconds). With
# --windows it is the real setting of a Windows host: the simulator as a 32-bit program and zarn-vote.exe's
# window, both under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

wine=""
windows=""
case "${1:-}" in
  --wine) wine=yes ;;
  --windows) wine=yes windows=yes ;;
  "") ;;
  *) echo "usage: $0 [--wine|--windows]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
cmake --preset release >/dev/null
if [ -n "$wine" ]; then
  cmake --build --preset release --target zarn-vote windows-programs
else
  cmake --build --preset release --target zarn-vote zarn-game-sim
fi

run=build/demo-run
rm -rf "$run"
mkdir -p "$run"
# The simulator keeps its player table at &H1100000; the chat and console lie at the default addresses.
printf '%s\r\n' '[Game]' 'Name=Delta Force Land Warrior,  V1.00.42' '[Memory]' 'Player Start=&H1100000' \
  '[General]' 'First Run=False' 'Interval=200' 'Interval 2=3000' >"$run/settings.ini"

pids=()
cleanup() {
  [ -z "$wine" ] || /usr/lib/wine/wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

virtual=""
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$run/display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$run/display")"
  virtual=yes
fi
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$PWD/$run/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"

if [ -n "$wine" ]; then
  export WINEPREFIX="$PWD/build/wine-prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix $WINEPREFIX..."
    /usr/lib/wine/wine64 wineboot -i >"$run/wineboot.log" 2>&1
  fi
  echo "Starting the game simulator under Wine and zarn-vote on display $DISPLAY (about half a minute)..."
  # Wine names files by drive; Z: is the root.
  game_exe=build/release/windows-programs/tools/game_sim/windows/zarn-game-sim.exe
  [ -z "$windows" ] || game_exe=build/release/windows-programs/tools/game_sim/win32/zarn-game-sim.exe
  /usr/lib/wine/wine64 "$game_exe" \
    --scenario "Z:$PWD/tools/game_sim/scenarios/demo.txt" --transcript "Z:$PWD/$run/transcript.txt" \
    --exit-after 120 2>"$run/game.log" &
else
  echo "Starting the game simulator and zarn-vote on display $DISPLAY (about half a minute)..."
  build/release/tools/game_sim/zarn-game-sim --scenario tools/game_sim/scenarios/demo.txt \
    --transcript "$run/transcript.txt" --exit-after 90 2>"$run/game.log" &
fi
pids+=($!)
for _ in $(seq 600); do grep -q START "$run/transcript.txt" 2>/dev/null && break; sleep 0.1; done
# Side by side: the game to the right of the operator's window.
game=$(xdotool search --name '^Delta Force Land Warrior,  V1.00.42$' 2>/dev/null | head -n 1 || true)
[ -n "$game" ] && xdotool windowmove "$game" 300 0 2>/dev/null || true

if [ -n "$windows" ]; then
  /usr/lib/wine/wine64 build/release/windows-programs/src/zarn-vote.exe --dir "Z:$PWD/$run" 2>"$run/zarn-vote.log" &
else
  build/release/src/zarn-vote --dir "$run" 2>"$run/zarn-vote.log" &
fi
pids+=($!)

for _ in $(seq 600); do grep -q ' MAP 2$' "$run/transcript.txt" && break; sleep 0.1; done
sleep 1
if [ -n "$virtual" ]; then
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$run/screenshot.png"
fi

echo
echo "What the game saw (the simulator's transcript, keys left out):"
grep -v -E '\] (KEY|CONSOLE|ACTIVE|INACTIVE)' "$run/transcript.txt" | sed 's/^/  /'
echo
echo "What zarn-vote said:"
sed 's/^/  /' "$run/zarn-vote.log"
echo
[ -n "$virtual" ] && echo "Screenshot of the screen: $run/screenshot.png"
echo "Settings, error log and transcript in $run/"
grep -q ' PUNT 3 Bob$' "$run/transcript.txt" && grep -q ' MAP 2$' "$run/transcript.txt"
