#!/usr/bin/env bash
# Runs a command on a virtual X screen of 1280 x 1024 pixels under the
# openbox window manager, started once the manager has taken the screen;
# the server and the manager end with the command, whose exit status this
# returns. Every wait is bounded: a server or manager that does not come up
# within 20 seconds fails the run.
#   tools/under-window-manager.sh command [arguments...]
set -u
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "under-window-manager.sh: $tool is not installed" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap finish EXIT
# Waits up to 20 s for `test FLAG FILE` to hold, else names what did not
# start and shows its log.
await() {
  for _ in $(seq 200); do
    test "$1" "$2" && return 0
    sleep 0.1
  done
  echo "under-window-manager.sh: $3 did not start" >&2
  cat "$4" >&2
  exit 1
}
# The server writes its display number once it takes connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
await -s "$work/display" Xvfb "$work/xvfb.log"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
# Openbox runs its start-up command once it manages the screen.
openbox --sm-disable --startup "touch $work/manager" >"$work/openbox.log" 2>&1 &
pids+=($!)
await -e "$work/manager" openbox "$work/openbox.log"
export QT_QPA_PLATFORM=xcb VEXLOR_WINDOW_MANAGER=openbox
"$@"
