#!/usr/bin/env bash
# The game-link benchmarks and the program's idle figures, on a virtual X server: the collection tick's
# CPU time against the live simulator, then zarn-vote (window and --headless) at the default intervals
# against an idle simulator for 60 seconds each: its CPU share and its peak memory. Build first with
# `cmake --preset release && cmake --build --preset release`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
seconds=${IDLE_SECONDS:-60}
# shellcheck source=bench/xvfb_session.sh
. bench/xvfb_session.sh

"$build/bench/zarnvote_link_bench" --benchmark_min_time=2

ticks() {  # user + system clock ticks of a process
  awk '{print $14 + $15}' "/proc/$1/stat"
}
idle() {  # mode arguments...
  printf '%s\r\n' '[Memory]' 'Player Start=&H1100000' '[General]' 'First Run=False' >"$work/settings.ini"
  "$build/tools/game_sim/zarn-game-sim" --transcript /dev/null --scenario <(printf '0 join 3 Bob\n') &
  local game=$!
  sleep 1
  "$build/src/zarn-vote" --dir "$work" "$@" 2>/dev/null &
  local service=$!
  sleep 5  # started and attached
  local before
  before=$(ticks $service)
  sleep "$seconds"
  local after
  after=$(ticks $service)
  local hz
  hz=$(getconf CLK_TCK)
  local peak
  peak=$(awk '/VmHWM/ {print $2}' "/proc/$service/status")
  echo "zarn-vote $* idle for ${seconds} s: CPU $(awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
    'BEGIN {printf "%.2f", 100 * t / hz / s}') % of one core, peak memory $((peak / 1024)) MB"
  kill "$service" "$game"
  wait "$service" "$game" 2>/dev/null || true
}
idle
idle --headless
