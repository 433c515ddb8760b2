# shellcheck shell=bash
# Sourced by the benchmark scripts: a work folder and a virtual X server of their own, both gone when the
# script exits, with DISPLAY, QT_QPA_PLATFORM and XDG_RUNTIME_DIR set for the programs the script starts.
# Sets `work` (the folder) and `pids` (the processes ended at exit; a script adds its own). A script with
# more to end before them defines a function before_cleanup ahead of sourcing this.
work=$(mktemp -d)
pids=()
cleanup() {
  if declare -F before_cleanup >/dev/null; then before_cleanup; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
