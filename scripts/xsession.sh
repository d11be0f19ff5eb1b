#!/usr/bin/env bash
# Runs a command on a private Xvfb (1920x1080x24) with openbox as window manager, then tears both down.
# Usage: scripts/xsession.sh command [args...]. The display number is chosen by Xvfb itself.
set -euo pipefail
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp +extension MIT-SHM 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r num <"$fifo"
rm -f "$fifo"
export DISPLAY=":$num"
if [ -n "${ZELQ_ANNOUNCE_DISPLAY:-}" ]; then
  echo "Private X display: $DISPLAY (look at it with: DISPLAY=$DISPLAY import -window root shot.png)" >&2
fi
# Qt wants a private runtime folder; give the session its own.
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime"
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$runtime"
  wait 2>/dev/null || true
}
trap cleanup EXIT
openbox >/dev/null 2>&1 &
wm_pid=$!
# Wait until the window manager owns the screen so that windows get decorations from the start.
for _ in $(seq 50); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then break; fi
  sleep 0.1
done
set +e
"$@"
status=$?
exit $status
