#!/bin/sh
# Makes a fresh Wine prefix for the tests under Wine, and at the end stops every Wine process of that
# prefix (its wineserver included) and removes it (a prefix is some 700 MB).
#   wine_fixture.sh start|stop STATE WINE64 [persistent]
# wineboot runs without a display, so no window of its shows up on the tests' display; its wineserver is
# stopped right after, and the first test starts a fresh one on the display. With "persistent" a wineserver
# is started at once and kept until the stop, for tests that open no window: each then starts in a tenth of
# a second instead of waiting seconds for a server of its own.
set -eu
action=$1
state=$2
wine64=$3
prefix=$state/prefix
wineserver=$(dirname "$wine64")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all

stop() {
  if [ -d "$prefix" ]; then
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    rm -rf "$prefix"
  fi
}

case "$action" in
  start)
    [ -x "$wine64" ] || { echo "wine64 is not installed (Debian package wine64)" >&2; exit 1; }
    stop
    mkdir -p "$state"
    env -u DISPLAY -u WAYLAND_DISPLAY "$wine64" wineboot -i >"$state/wineboot.log" 2>&1 ||
      { cat "$state/wineboot.log" >&2; exit 1; }
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    [ -f "$prefix/system.reg" ] || { echo "wineboot made no prefix in $prefix:" >&2; cat "$state/wineboot.log" >&2; exit 1; }
    if [ "${4:-}" = persistent ]; then
      # The first program also starts Wine's own background processes, which live as long as the server:
      # started here with no pipe of the test runner open, so that no test waits for them to end.
      env -u DISPLAY -u WAYLAND_DISPLAY "$wineserver" -p </dev/null >/dev/null 2>&1
      env -u DISPLAY -u WAYLAND_DISPLAY "$wine64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
    fi
    echo "Wine prefix $prefix ($("$wine64" --version 2>/dev/null || true))"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop STATE WINE64" >&2
    exit 2
    ;;
esac
