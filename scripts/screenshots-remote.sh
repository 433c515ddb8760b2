#!/usr/bin/env bash
# Screenshots of the remote console's page in headless Chromium, into docs/screenshots/: as on a desktop
# browser and as on a phone 360 pixels wide. zarn-vote's service mode runs against the game simulator on
# a virtual X server, with players who have voted, and serves the page on the loopback address. Needs
# xvfb and chromium. Arguments: the zarn-vote and zarn-game-sim binaries.
set -euo pipefail
cd "$(dirname "$0")/.."

binary=${1:-build/debug/src/zarn-vote}
game=${2:-build/debug/tools/game_sim/zarn-game-sim}
out=docs/screenshots
# shellcheck source=bench/xvfb_session.sh
. bench/xvfb_session.sh

# Eight players; Bob has four votes against him and Gus one, two want another map: all below the limits.
cat >"$work/scenario.txt" <<'EOF'
0 join 0 Ann
0 join 1 Cy
0 join 2 Dee
0 join 3 Bob
0 join 4 Eve
0 join 5 Fay
0 join 6 Gus
0 join 7 Hal
1.0 say 0 /vote 3
1.3 say 1 /vote 3
1.6 say 4 hello all
1.9 say 2 /vote 3
2.2 say 5 /vote 6
2.5 say 0 /vote map
2.8 say 6 /vote map
3.1 say 7 /vote 3
3.4 say 0 gg
EOF
"$game" --scenario "$work/scenario.txt" --transcript "$work/transcript.txt" --exit-after 120 2>/dev/null &
pids+=($!)

# A port that nothing answers on.
port=0
for _ in $(seq 20); do
  candidate=$((20000 + RANDOM % 40000))
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
done
token=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
printf '%s\r\n' '[Game]' 'Name=Delta Force Land Warrior,  V1.00.42' '[Memory]' 'Player Start=&H1100000' \
  '[General]' 'First Run=False' 'Interval=200' 'Interval 2=3000' '[Remote]' "Listen=127.0.0.1:$port" \
  "Token=$token" >"$work/settings.ini"
"$binary" --headless --dir "$work" 2>"$work/zarn-vote.log" &
pids+=($!)

for _ in $(seq 300); do grep -q 'CHAT Ann: gg' "$work/transcript.txt" 2>/dev/null && break; sleep 0.1; done
grep -q 'Remote console listening' "$work/zarn-vote.log" || { cat "$work/zarn-vote.log" >&2; exit 1; }
sleep 0.5  # the collection tick after the last line

root=""
[ "$(id -u)" -ne 0 ] || root=--no-sandbox  # Chromium's sandbox refuses to run as root
shot() {  # file name, window size
  HOME="$work" chromium --headless=new $root --disable-gpu --no-first-run --disable-extensions \
    --disable-background-networking --disable-component-update --user-data-dir="$work/profile" \
    --hide-scrollbars --window-size="$2" --virtual-time-budget=3000 --screenshot="$out/$1.png" \
    "http://127.0.0.1:$port/#token=$token" >>"$work/chromium.log" 2>&1
  echo "$out/$1.png"
}
shot remote-console 800,490
shot remote-console-phone 360,860
