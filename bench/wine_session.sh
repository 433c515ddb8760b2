# shellcheck shell=bash
# Sourced by the benchmark scripts that run Windows programs: the work folder and virtual X server of
# xvfb_session.sh, and a fresh Wine prefix in the work folder, with WINEPREFIX set and every Wine process
# of it ended at exit.
before_cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}
# shellcheck source=bench/xvfb_session.sh
. "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
# Without a display, so no window of wineboot's shows; its session must end before the game starts,
# since a Wine session begun without a display can create no windows later ("error 183").
env -u DISPLAY /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w 2>/dev/null || true
