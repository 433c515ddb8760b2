#!/usr/bin/env bash
# How much sooner a vote punts with Act At Once: zarn-vote --headless against the game simulator on a
# virtual X server at the default intervals (500 ms collection, 10 s processing), the seconds from the
# sixth vote's chat line to "punt 3" in the game, with the option off and on, RUNS times each (default 10),
# then best / median / worst of each. zarn-vote starts after a random pause, so the vote falls anywhere in
# the processing interval. Build first with `cmake --preset release && cmake --build --preset release`
# (BUILD=build/debug takes the debug build: the figures are intervals and console pauses, not CPU).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/release}
runs=${RUNS:-10}
# shellcheck source=bench/xvfb_session.sh
. bench/xvfb_session.sh

seconds() {  # transcript, line after the time stamp -> the time stamp of its first occurrence
  awk -v want="$2" 'substr($0, 13) == want { print substr($0, 2, 9) + 0; exit }' "$1"
}
latency() {  # True or False -> seconds from the sixth vote to "punt 3", on stdout
  local run=$work/run
  rm -rf "$run"
  mkdir -p "$run"
  printf '%s\r\n' '[Memory]' 'Player Start=&H1100000' '[General]' 'First Run=False' \
    '[Fair Votes]' "Act At Once=$1" >"$run/settings.ini"
  {
    for slot in 0 1 2 3 4 5 6; do echo "0 join $slot P$slot"; done
    # A second apart: at the default 500 ms a line replaced sooner may never be read.
    echo "12 say 0 /vote 3"; echo "13 say 1 /vote 3"; echo "14 say 2 /vote 3"
    echo "15 say 4 /vote 3"; echo "16 say 5 /vote 3"; echo "17 say 6 /vote 3"
  } >"$run/scenario.txt"
  "$build/tools/game_sim/zarn-game-sim" --scenario "$run/scenario.txt" --transcript "$run/t.txt" \
    --exit-after 60 2>/dev/null &
  local game=$!
  for _ in $(seq 100); do grep -q START "$run/t.txt" 2>/dev/null && break; sleep 0.1; done
  sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.2f", r / 32768 * 10 }')"
  "$build/src/zarn-vote" --dir "$run" --headless >"$run/output.txt" 2>&1 &
  local service=$!
  for _ in $(seq 400); do grep -q ' PUNT 3 P3$' "$run/t.txt" && break; sleep 0.1; done
  kill "$service" "$game" 2>/dev/null || true
  wait "$service" "$game" 2>/dev/null || true
  local vote punt
  vote=$(seconds "$run/t.txt" "CHAT P6: /vote 3")
  punt=$(seconds "$run/t.txt" "PUNT 3 P3")
  if [ -z "$vote" ] || [ -z "$punt" ]; then
    echo "no punt within 40 s; zarn-vote said:" >&2
    cat "$run/output.txt" "$run/errorlog.log" >&2 2>/dev/null || true
    return
  fi
  awk -v v="$vote" -v p="$punt" 'BEGIN { printf "%.3f\n", p - v }'
}
for option in False True; do
  figures=()
  for _ in $(seq "$runs"); do
    figure=$(latency "$option")
    [ -n "$figure" ] && figures+=("$figure")
    echo "Act At Once=$option: sixth vote to \"punt 3\" ${figure:-(none)} s" >&2
  done
  printf '%s\n' "${figures[@]}" | sort -n | awk -v o="$option" '
    { v[NR] = $1 }
    END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
          printf "Act At Once=%s, %d runs: best %.2f s, median %.2f s, worst %.2f s\n", o, NR, v[1], m, v[NR] }'
done
