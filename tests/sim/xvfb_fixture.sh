#!/bin/sh
# Starts or stops the Xvfb server shared by the simulator's window tests. Xvfb picks a free display itself
# (-displayfd), so several test runs on one machine do not collide. The number goes to STATE/display, the
# server's pid to STATE/pid; stop ends exactly that process.
#   xvfb_fixture.sh start|stop STATE
set -eu
action=$1
state=$2

# A server that died stays a zombie until reaped, which kill -0 does not tell apart from a live one.
alive() {
  [ -r "/proc/$1/stat" ] && ! grep -q ') Z ' "/proc/$1/stat"
}

stop() {
  if [ -s "$state/pid" ]; then
    kill "$(cat "$state/pid")" 2>/dev/null || true
  fi
  rm -f "$state/pid" "$state/display" "$state/display.new"
}

case "$action" in
  start)
    mkdir -p "$state"
    stop
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed (Debian package xvfb)" >&2; exit 1; }
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$state/display.new" \
      </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/pid"
    # Xvfb writes the number once it accepts connections.
    i=0
    while [ ! -s "$state/display.new" ]; do
      if ! alive "$(cat "$state/pid")"; then
        echo "Xvfb did not start:" >&2
        cat "$state/xvfb.log" >&2
        exit 1
      fi
      i=$((i + 1))
      [ "$i" -le 200 ] || { echo "Xvfb gave no display number within 10 s" >&2; stop; exit 1; }
      sleep 0.05
    done
    mv "$state/display.new" "$state/display"
    echo "Xvfb on :$(cat "$state/display"), pid $(cat "$state/pid")"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop STATE" >&2
    exit 2
    ;;
esac
