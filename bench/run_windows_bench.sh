#!/usr/bin/env bash
# Figures of zarn-vote.exe under Wine, in one run on a virtual X server and a Wine prefix of its own:
#  1. the collection tick's cost: the native link's tick (zarnvote_link_bench, process_vm_readv) and the
#     Windows link's 90-byte ReadProcessMemory read (zarnvote_windows_link_figures.exe), against the same
#     64-bit simulator under Wine;
#  2. zarn-vote.exe's start-up: --version, ten times, with the wineserver running;
#  3. zarn-vote.exe, --headless and its window, idle at the default intervals (500 ms / 10 s) for
#     SECONDS_IDLE (default 60) against the simulator as a 32-bit program: processor share and peak memory.
# Build first: `cmake --preset release && cmake --build --preset release` (the native programs and
# build/release/windows-programs) and `cmake --preset windows && cmake --build --preset windows` (the
# figures program).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
programs=$build/windows-programs
seconds=${SECONDS_IDLE:-60}
wine64=/usr/lib/wine/wine64
# shellcheck source=bench/wine_session.sh
. bench/wine_session.sh

echo "== collection tick: the native link (process_vm_readv) against the simulator under Wine"
ZARN_GAME_SIM_COMMAND="$wine64 $programs/tools/game_sim/windows/zarn-game-sim.exe" \
  "$build/bench/zarnvote_link_bench" --benchmark_min_time=2 2>/dev/null | grep -E "^(Benchmark|-|Bm|[A-Za-z])" || true
echo "== the Windows link in zarn-vote.exe (ReadProcessMemory), same simulator"
"$wine64" build/windows/tests/windows/zarnvote_windows_link_figures.exe \
  "Z:$PWD/$programs/tools/game_sim/windows/zarn-game-sim.exe" | grep -v "^link:"

echo "== zarn-vote.exe start-up (--version, the wineserver running from the start before)"
"$wine64" "$programs/src/zarn-vote.exe" --version >/dev/null
start=$(date +%s%N)
for _ in $(seq 10); do "$wine64" "$programs/src/zarn-vote.exe" --version >/dev/null; done
echo "$(( ($(date +%s%N) - start) / 10000000 )) ms each (10 starts)"

idle() {  # mode arguments ("--headless" or none)
  local run=$work/run$#
  mkdir -p "$run"
  printf '%s\r\n' '[Game]' 'Name=Delta Force Land Warrior,  V1.00.42 idle' '[Memory]' 'Player Start=&H1100000' \
    '[General]' 'First Run=False' >"$run/settings.ini"
  "$wine64" "$programs/tools/game_sim/win32/zarn-game-sim.exe" --title 'Delta Force Land Warrior,  V1.00.42 idle' \
    --transcript "Z:$run/t.txt" --exit-after $((seconds + 60)) 2>/dev/null &
  local game=$!
  for _ in $(seq 600); do grep -q START "$run/t.txt" 2>/dev/null && break; sleep 0.1; done
  "$wine64" "$programs/src/zarn-vote.exe" "$@" --dir "Z:$run" 2>"$run/err.txt" &
  local pid=""
  for _ in $(seq 100); do pid=$(pgrep -f "zarn-vote.exe $* *--dir" | head -n 1 || true); [ -n "$pid" ] && break; sleep 0.1; done
  sleep 5  # attached, the first ticks gone by
  local ticks before after
  ticks=$(getconf CLK_TCK)
  before=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep "$seconds"
  after=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  awk -v b="$before" -v a="$after" -v t="$ticks" -v s="$seconds" \
    'BEGIN { printf "processor: %.2f %% of one core\n", (a - b) / t / s * 100 }'
  echo "peak memory (VmHWM): $(awk '/VmHWM/ { printf "%.1f MB", $2 / 1024 }' "/proc/$pid/status")"
  echo "zarn-vote.exe said: $(tr '\n' ' ' <"$run/err.txt")"
  kill -KILL "$pid" "$game" 2>/dev/null || true
}
echo "== zarn-vote.exe --headless idle for $seconds s at 500 ms / 10 s against the 32-bit simulator"
idle --headless
echo "== zarn-vote.exe's window, the same"
idle
