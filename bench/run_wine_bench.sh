#!/usr/bin/env bash
# Figures against the game simulator as a Windows program under Wine, on a virtual X server and in a Wine
# prefix of its own: the collection tick's CPU time (zarnvote_link_bench), then RUNS runs (default 5) of
# six votes against Bob at the default intervals (500 ms / 10 s) and at the end-to-end tests' (100 ms /
# 2 s), each printing the seconds from the sixth vote line appearing in the chat to the console key that
# starts the punt and to "punt 3" arriving in the game. zarn-vote starts after a random pause, so the
# vote falls anywhere in the processing interval. Build first with
# `cmake --preset release && cmake --build --preset release`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
runs=${RUNS:-5}
wine64=/usr/lib/wine/wine64
exe=$build/windows-programs/tools/game_sim/windows/zarn-game-sim.exe
# shellcheck source=bench/wine_session.sh
. bench/wine_session.sh

[ -n "${NO_TICK:-}" ] || ZARN_GAME_SIM_COMMAND="$wine64 $exe" "$build/bench/zarnvote_link_bench" --benchmark_min_time=2

seconds() {  # transcript, line after the time stamp -> the time stamp of its first occurrence
  awk -v want="$2" 'substr($0, 13) == want { print substr($0, 2, 9) + 0; exit }' "$1"
}
latency() {  # collection interval, processing interval (ms)
  local run=$work/run
  rm -rf "$run"
  mkdir -p "$run"
  printf '%s\r\n' '[Game]' 'Name=Delta Force Land Warrior,  V1.00.42 bench' '[Memory]' 'Player Start=&H1100000' \
    '[General]' 'First Run=False' "Interval=$1" "Interval 2=$2" >"$run/settings.ini"
  {
    for slot in 0 1 2 3 4 5 6; do echo "0 join $slot P$slot"; done
    # A second apart: at the default 500 ms a line replaced sooner may never be read.
    echo "12 say 0 /vote 3"; echo "13 say 1 /vote 3"; echo "14 say 2 /vote 3"
    echo "15 say 4 /vote 3"; echo "16 say 5 /vote 3"; echo "17 say 6 /vote 3"
  } >"$run/scenario.txt"
  "$wine64" "$exe" --title 'Delta Force Land Warrior,  V1.00.42 bench' --scenario "Z:$run/scenario.txt" \
    --transcript "Z:$run/t.txt" --exit-after 60 2>/dev/null &
  local game=$!
  for _ in $(seq 600); do grep -q START "$run/t.txt" 2>/dev/null && break; sleep 0.1; done
  sleep "$(awk -v r="$RANDOM" -v p="$2" 'BEGIN { printf "%.2f", r / 32768 * p / 1000 }')"
  "$build/src/zarn-vote" --dir "$run" --headless >"$run/output.txt" 2>&1 &
  local service=$!
  for _ in $(seq 400); do grep -q ' PUNT 3 P3$' "$run/t.txt" && break; sleep 0.1; done
  kill "$service" "$game" 2>/dev/null || true
  wait "$service" "$game" 2>/dev/null || true
  local vote key punt
  vote=$(seconds "$run/t.txt" "CHAT P6: /vote 3")
  key=$(awk -v v="$vote" '/\] KEY grave$/ && substr($0, 2, 9) + 0 >= v + 0 { print substr($0, 2, 9) + 0; exit }' \
    "$run/t.txt")
  punt=$(seconds "$run/t.txt" "COMMAND punt 3")
  if [ -z "$punt" ]; then
    echo "no punt within 40 s; zarn-vote said:" >&2
    cat "$run/output.txt" "$run/errorlog.log" >&2 2>/dev/null || true
    return
  fi
  awk -v i1="$1" -v i2="$2" -v v="$vote" -v k="$key" -v p="$punt" -v m="$(grep -c -E '\] (MISSED|DROPPED)' "$run/t.txt")" \
    'BEGIN { printf "intervals %4d/%5d ms: sixth vote to console key %6.3f s, to \"punt 3\" %6.3f s; missed or dropped keys: %d\n", i1, i2, k - v, p - v, m }'
}
for _ in $(seq "$runs"); do latency 500 10000; done
for _ in $(seq "$runs"); do latency 100 2000; done
