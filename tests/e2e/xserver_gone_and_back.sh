#!/usr/bin/env bash
# zarn-vote --headless when the X server of the game goes away: it keeps running without spinning a core
# or piling up descriptors, finds the game again when a server and the game come back on the same
# display, and still ends with status 0 on SIGTERM. Arguments: the zarn-vote and zarn-game-sim binaries.
set -u
zarn_vote=$1
game_sim=$2
work=$(mktemp -d)
fail=0
bad() { echo "FAULT: $*"; fail=1; }
cleanup() {
  kill "${service:-}" "${game:-}" "${server:-}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display number of its own, so that nothing else on the machine takes it while the server is away.
number=$((200 + $$ % 500))
display=:$number
start_server() {
  # The server that was killed left its lock and socket behind; this test knows they are stale.
  rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number" "$work/display"
  Xvfb "$display" -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >>"$work/xvfb.txt" 2>&1 &
  server=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || bad "Xvfb did not start on $display"
}
start_game() {
  DISPLAY=$display "$game_sim" --transcript "$work/game$1.txt" >/dev/null 2>&1 &
  game=$!
  for _ in $(seq 100); do grep -q START "$work/game$1.txt" 2>/dev/null && break; sleep 0.1; done
}
found() { grep -c "game found" "$work/stderr.txt"; }

printf '[General]\r\nFirst Run=False\r\nInterval=200\r\nInterval 2=1000\r\n[Memory]\r\nPlayer Start=&H1100000\r\n' \
  >"$work/settings.ini"
start_server
start_game 1
DISPLAY=$display "$zarn_vote" --headless --dir "$work" 2>"$work/stderr.txt" &
service=$!
for _ in $(seq 100); do [ "$(found)" -ge 1 ] && break; sleep 0.1; done
[ "$(found)" -ge 1 ] || bad "the game was not found"
descriptors=$(ls "/proc/$service/fd" | wc -l)

kill -9 "$server"
wait "$server" 2>/dev/null
kill "$game" 2>/dev/null
wait "$game" 2>/dev/null
before=$(awk '{print $14 + $15}' "/proc/$service/stat")
sleep 5
if ! kill -0 "$service" 2>/dev/null; then
  wait "$service"
  bad "zarn-vote ended (status $?) when the X server went away"
else
  after=$(awk '{print $14 + $15}' "/proc/$service/stat")
  [ $((after - before)) -gt 100 ] && bad "zarn-vote used $((after - before)) clock ticks in 5 s without a server"
  start_server
  start_game 2
  for _ in $(seq 100); do [ "$(found)" -ge 2 ] && break; sleep 0.1; done
  [ "$(found)" -ge 2 ] || bad "the game was not found again on the new server"
  now=$(ls "/proc/$service/fd" | wc -l)
  [ "$now" -gt "$descriptors" ] && bad "descriptors grew from $descriptors to $now"
  kill -TERM "$service"
  wait "$service"
  status=$?
  service=""
  [ "$status" = 0 ] || bad "SIGTERM gave status $status"
fi
echo "zarn-vote's stderr:"
sed 's/^/  | /' "$work/stderr.txt"
if [ "$fail" != 0 ]; then
  echo "Xvfb's output:"
  sed 's/^/  | /' "$work/xvfb.txt"
fi
exit $fail
