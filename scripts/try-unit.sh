#!/usr/bin/env bash
# Tries the packaged zarn-vote@.service under a real systemd before a change to it lands: a machine without
# systemd as PID 1 (a container, CI) runs one as PID 1 of its own PID, mount and cgroup namespaces, with its
# own /run. Each case starts an instance against the game simulator on an Xvfb of its own and prints what
# happened:
#   attach   the service as the game's user finds the game, punts the player voted out, reloads on
#            systemctl reload
#   first    an empty folder: systemctl start fails, status 2, no restart
#   other    a game of another user: refused, and reached with the CAP_SYS_PTRACE drop-in of the README
# Needs root, build/deb's package (cmake --workflow --preset deb) and build/debug's simulator. Installs the
# package when it is not installed and purges it again; removes everything else it made.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 2; }
sim=$PWD/build/debug/tools/game_sim/zarn-game-sim
deb=$(ls build/deb/zarn-vote_*.deb)
work=$(mktemp -d /var/tmp/zarn-try-unit.XXXXXX)
chmod 755 "$work"
instance=try-$$
cgroup=zarn-try-unit-$$
installed_here=""
if ! dpkg-query -W -f='${Status}' zarn-vote 2>/dev/null | grep -q " installed"; then
  dpkg -i "$deb" >/dev/null
  installed_here=yes
fi
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for hierarchy in systemd unified; do
    [ -d /sys/fs/cgroup/$hierarchy/$cgroup ] && find /sys/fs/cgroup/$hierarchy/$cgroup -depth -type d -exec rmdir {} + 2>/dev/null
  done
  rm -rf "$work" "/var/lib/zarn-vote/$instance" "/etc/zarn-vote/$instance.env" \
    /tmp/systemd-private-*-"zarn-vote@$instance.service"-* /var/tmp/systemd-private-*-"zarn-vote@$instance.service"-*
  rmdir /var/lib/zarn-vote /etc/zarn-vote 2>/dev/null || true
  [ -z "$installed_here" ] || dpkg -P zarn-vote >/dev/null
}
trap cleanup EXIT

# try NAME GAME_USER SERVICE_USER SETTINGS(yes|no) [DROP-IN...]: one instance under a fresh systemd.
try() {
  local name=$1 game_user=$2 service_user=$3 settings=$4
  shift 4
  local run=$work/$name
  mkdir -p "$run/dropins" && chown "$game_user" "$run"
  printf '[Unit]\nDefaultDependencies=no\n[Service]\nUser=%s\nStandardOutput=append:%s/service.log\nStandardError=append:%s/service.log\n' \
    "$service_user" "$run" "$run" >"$run/dropins/try.conf"
  for dropin in "$@"; do printf '%b' "$dropin" >"$run/dropins/$(date +%N).conf"; done
  Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$run/display" >/dev/null 2>&1 &
  local xvfb=$!
  pids+=($xvfb)
  for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.1; done
  local display=":$(cat "$run/display")" title="Delta Force Land Warrior,  V1.00.42 try $name $$"
  mkdir -p /etc/zarn-vote "/var/lib/zarn-vote/$instance"
  rm -f "/var/lib/zarn-vote/$instance/"*
  echo "DISPLAY=$display" >"/etc/zarn-vote/$instance.env"
  [ "$settings" = no ] || printf '[Game]\r\nName=%s\r\n[Memory]\r\nPlayer Start=&H1100000\r\n[General]\r\nFirst Run=False\r\nInterval=100\r\nInterval 2=1000\r\n' \
    "$title" >"/var/lib/zarn-vote/$instance/settings.ini"
  # Six votes against Bob (slot 3), from ten seconds on, when the service has long attached.
  { printf '0 join %s\n' "0 Ann" "1 Cy" "2 Dee" "3 Bob" "4 Eve" "5 Fay" "6 Gus"
    for k in 0 1 2 4 5 6; do echo "$((10 + k)) say $k /vote 3"; done; } >"$run/scenario.txt"
  mkdir -p "/sys/fs/cgroup/systemd/$cgroup/$name" "/sys/fs/cgroup/unified/$cgroup/$name"
  cat >"$run/boot.sh" <<EOF
#!/bin/sh
mount -t proc proc /proc && mount -t tmpfs tmpfs /run
mkdir -p /run/systemd/system/zarn-vote@$instance.service.d
printf '[Unit]\nDescription=try-unit\n' >/run/systemd/system/try-unit.target
cp $run/dropins/*.conf /run/systemd/system/zarn-vote@$instance.service.d/
exec env -i container=try-unit /lib/systemd/systemd --unit=try-unit.target --log-target=console --log-level=warning
EOF
  sh -c "echo \$\$ >/sys/fs/cgroup/systemd/$cgroup/$name/cgroup.procs
    echo \$\$ >/sys/fs/cgroup/unified/$cgroup/$name/cgroup.procs
    exec unshare --pid --fork --mount --propagation private --cgroup --kill-child sh $run/boot.sh" \
    >"$run/systemd.log" 2>&1 &
  local outer=$!
  disown $outer  # its end by SIGKILL is no news
  pids+=($outer)
  local init=""
  for _ in $(seq 100); do
    init=$(pgrep -P $outer || true)
    [ -n "$init" ] && nsenter -t "$init" -m -- test -S /run/systemd/private 2>/dev/null && break
    sleep 0.1
  done
  inside() { nsenter -t "$init" -m -p -- "$@"; }
  # The game runs inside too: the service finds its process by the pid its window gives.
  inside env DISPLAY="$display" setpriv --reuid="$game_user" --regid=nogroup --clear-groups "$sim" \
    --title "$title" --scenario "$run/scenario.txt" --transcript "$run/transcript.txt" --exit-after 40 \
    >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  local started=yes
  inside systemctl start "zarn-vote@$instance" 2>/dev/null || started=no
  local punted=no
  if [ $started = yes ]; then
    for _ in $(seq 300); do grep -q "PUNT 3 Bob" "$run/transcript.txt" 2>/dev/null && { punted=yes; break; }; sleep 0.1; done
  fi
  local reloaded=no
  inside systemctl reload "zarn-vote@$instance" 2>/dev/null && reloaded=yes
  echo "== $name: started=$started punted=$punted reloaded=$reloaded" \
    "$(inside systemctl show -p ActiveState -p ExecMainStatus -p NRestarts "zarn-vote@$instance" | tr '\n' ' ')"
  sed 's/^/   /' "$run/service.log" 2>/dev/null | head -4
  # Stopped first, so that systemd removes the unit's private /tmp and /var/tmp.
  inside systemctl stop "zarn-vote@$instance" 2>/dev/null || true
  kill -9 $outer "$init" 2>/dev/null || true
  kill $xvfb 2>/dev/null || true
}

try attach nobody nobody yes
try first nobody nobody no
try other daemon nobody yes
try other-with-capability daemon nobody yes '[Service]\nCapabilityBoundingSet=CAP_SYS_PTRACE\nAmbientCapabilities=CAP_SYS_PTRACE\n'
