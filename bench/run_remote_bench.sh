#!/usr/bin/env bash
# The remote console under load, on a virtual X server: zarn-vote --headless at a 100 ms collection interval
# against the game simulator, whose players say a new vote line every 250 ms from start to end, while
# 50 clients poll /api/state, first once a second each, then as fast as they can. Each client has an address
# of its own on loopback (127.0.0.2 to 127.0.0.51), as 50 operators' pages would, so the request limit of
# 60 a second applies to each. Prints, for the quiet start and each phase: the requests and their answers,
# the latency (p50, p99, max) as curl measured it, the service's CPU share, and the vote lines said and
# counted (the lines in the state's vote log). Build first with
# `cmake --preset release && cmake --build --preset release`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
quiet=${QUIET_SECONDS:-10}
polling=${POLL_SECONDS:-30}
flat=${FLAT_OUT_SECONDS:-30}
clients=${CLIENTS:-50}
port=${REMOTE_PORT:-18740}
token=bench-token-0123456789abcdef
before_cleanup() {  # the service and the simulator before their X server
  kill "${service:-}" "${game:-}" 2>/dev/null || true
  wait "${service:-}" "${game:-}" 2>/dev/null || true
}
# shellcheck source=bench/xvfb_session.sh
. bench/xvfb_session.sh

ticks() {  # user + system clock ticks of a process
  awk '{print $14 + $15}' "/proc/$1/stat"
}
now() { date +%s.%N; }
hz=$(getconf CLK_TCK)

# Line i: speaker i mod 16, target (i / 16) mod 16, with i / 256 leading zeros, so that no line repeats.
total=$((quiet + polling + flat + 8))
{
  for slot in $(seq 0 15); do echo "0 join $slot P$slot"; done
  awk -v n=$((total * 4)) 'BEGIN {
    for (i = 0; i < n; i++) {
      zeros = ""; for (z = 0; z < int(i / 256); z++) zeros = zeros "0"
      printf "%.2f say %d /vote %s%d\n", 2 + i * 0.25, i % 16, zeros, int(i / 16) % 16
    }
  }'
} >"$work/scenario.txt"

printf '%s\r\n' '[Memory]' 'Player Start=&H1100000' '[General]' 'First Run=False' 'Interval=100' \
  'Display Summary=32000' 'Reset Votes=32000' '[Votes]' 'Max Player Votes=30000' 'Max Map Votes=30000' \
  '[Remote]' "Listen=127.0.0.1:$port" "Token=$token" >"$work/settings.ini"

"$build/tools/game_sim/zarn-game-sim" --transcript "$work/transcript.txt" --scenario "$work/scenario.txt" \
  --exit-after $((total + 30)) &
game=$!
pids+=("$game")
started=$(now)
sleep 1
"$build/src/zarn-vote" --dir "$work" --headless >/dev/null 2>"$work/service.err" &
service=$!
pids+=("$service")
for _ in $(seq 100); do grep -q "listening on" "$work/service.err" 2>/dev/null && break; sleep 0.1; done

state() {
  curl -s -H "Authorization: Bearer $token" "http://127.0.0.1:$port/api/state"
}
counted() {  # vote lines in the state's vote log
  state | python3 -c 'import json, sys; print(len(json.load(sys.stdin)["log"]))'
}
offset() { awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

report() {  # name, latency file (or empty), ticks before, ticks after, seconds, offset from, offset to
  local name=$1 file=$2 cpu lines
  cpu=$(awk -v t=$(($4 - $3)) -v hz="$hz" -v s="$5" 'BEGIN {printf "%.1f", 100 * t / hz / s}')
  lines=$(awk -v a="$6" -v b="$7" '{ sub(/^\[ */, ""); split($0, p, "] "); t = p[1] + 0;
      if (p[2] ~ /^CHAT / && p[2] ~ /\/vote / && t >= a && t < b) n++ } END { print n + 0 }' "$work/transcript.txt")
  echo "== $name: ${5} s, service CPU ${cpu} % of one core, vote lines said ${lines}"
  if [ -n "$file" ]; then
    awk 'NF == 2 && $1 ~ /^[0-9][0-9][0-9]$/' "$file" | sort -k2 -g >"$file.sorted"
    awk -v s="$5" '{ n++; code[$1]++; t[n] = $2 }
      END {
        if (n == 0) { print "   no requests answered"; exit }
        printf "   %d requests (%.0f a second):", n, n / s
        for (c in code) printf " %d x %s", code[c], c
        printf "\n   latency p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", 1000 * t[int(n * 0.5) + 1],
          1000 * t[int(n * 0.99) + 1], 1000 * t[n]
      }' "$file.sorted"
  fi
}

phase_start() { from=$(offset); before=$(ticks "$service"); }
phase_end() {  # name, file, seconds
  report "$1" "$2" "$before" "$(ticks "$service")" "$3" "$from" "$(offset)"
}

phase_start
sleep "$quiet"
phase_end "quiet, console listening, no client" "" "$quiet"

poll() {  # mode (rate | flat), seconds, output file
  local args=(-s -o /dev/null -w '%{stderr}%{http_code} %{time_total}\n' -H "Authorization: Bearer $token")
  local clientpids=()
  for i in $(seq 2 $((clients + 1))); do
    if [ "$1" = rate ]; then
      curl "${args[@]}" --interface "127.0.0.$i" --rate 1/s "http://127.0.0.1:$port/api/state?[1-$2]" \
        2>>"$3.$i" &
    else
      timeout "$2" curl "${args[@]}" --interface "127.0.0.$i" "http://127.0.0.1:$port/api/state?[1-10000000]" \
        2>>"$3.$i" &
    fi
    clientpids+=($!)
  done
  wait "${clientpids[@]}" 2>/dev/null || true
  cat "$3".* >"$3"
}

phase_start
poll rate "$polling" "$work/polling"
phase_end "$clients clients, once a second each" "$work/polling" "$polling"

phase_start
poll flat "$flat" "$work/flat"
phase_end "$clients clients, as fast as they can" "$work/flat" "$flat"

# Every line said, counted or not: the scenario's last line has stood for a second.
while awk -v a="$(offset)" -v b=$((total + 3)) 'BEGIN { exit !(a < b) }'; do sleep 0.5; done
said=$(awk '{ sub(/^\[ */, ""); split($0, p, "] ");
    if (p[2] ~ /^CHAT / && p[2] ~ /\/vote /) n++ } END { print n + 0 }' "$work/transcript.txt")
echo "== vote lines in the whole run: said $said, counted $(counted)"
echo "   peak memory of the service: $(($(awk '/VmHWM/ {print $2}' "/proc/$service/status") / 1024)) MB"
