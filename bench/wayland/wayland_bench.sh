#!/usr/bin/env bash
# A Wayland recording beside an X11 recording of the same scene: a terminal that prints a line every
# 10 ms, full screen (1920x1080), recorded by the capture engine (bench/engine's engine_record, MSVC) at 10
# and at 30 positions a second.
#   Wayland: a headless sway desktop (scripts/wayland-session.sh), pictures through the screen-cast portal
#            and PipeWire; foot is the terminal.
#   X11:     a private Xvfb with openbox; xterm is the terminal; pictures from the X server (MIT-SHM).
# Prints, for each: the program's CPU share (per cent of one core, all its threads), the desktop's
# (sway, or Xvfb), PipeWire's and the portal's (xdg-desktop-portal-wlr), and the frames and empty
# positions that ffprobe reads in the file; and the load average, since the machines are shared.
#
# Usage: bench/wayland/wayland_bench.sh [build dir] [seconds]   (defaults: build/debug, 20)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build/debug}" && pwd)
seconds=${2:-20}
record=$build/bench/engine/engine_record
[ -x "$record" ] || { echo "build the benches first: scripts/build.sh debug" >&2; exit 1; }
tck=$(getconf CLK_TCK)
scroll='i=0; while :; do i=$((i+1)); echo "line $i $(date +%T.%N) abcdefghijklmnopqrstuvwxyz"; sleep 0.01; done'

ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
share() { awk -v a="$1" -v b="$2" -v s="$3" -v t="$tck" 'BEGIN { printf "%.1f", (b - a) * 100 / (s * t) }'; }
# frames and positions of a recording, as ffprobe counts them
frames() {
  local n p
  p=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$1")
  n=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1")
  echo "$n frames in $p positions, $((p - n)) empty"
}

# measure LABEL FPS OUT "name pid ..."  : one recording, the named processes' shares beside it
measure() {
  local label=$1 fps=$2 out=$3 procs=$4 before=() after=() i=0 name pid line t0 t1
  set -- $procs
  for ((i = 2; i <= $#; i += 2)); do before+=("$(ticks "${!i}")"); done
  t0=$(date +%s.%N)
  line=$(QT_QPA_PLATFORM=xcb "$record" "$fps" "$seconds" "$out")
  t1=$(date +%s.%N)
  local wall
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  for ((i = 2; i <= $#; i += 2)); do after+=("$(ticks "${!i}")"); done
  read -r written skipped cpu _ <<<"$line"
  printf '%-8s %2d/s  program %5.1f %%' "$label" "$fps" "$cpu"
  for ((i = 1; i <= $#; i += 2)); do
    printf '; %s %s %%' "${!i}" "$(share "${before[$(((i - 1) / 2))]}" "${after[$(((i - 1) / 2))]}" "$wall")"
  done
  printf '; %s\n' "$(frames "$out")"
}

work=$(mktemp -d)
trap 'kill ${term_pid:-} ${wm_pid:-} ${xvfb_pid:-} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "${INSIDE_WAYLAND:-}" != 1 ]; then
  # The Wayland half runs inside a desktop of its own; this script calls itself there.
  INSIDE_WAYLAND=1 "$here/scripts/wayland-session.sh" run "$0" "$build" "$seconds"
  # shellcheck source=../xdisplay.sh
  . "$here/bench/xdisplay.sh"
  start_display 1920 1080 "$work"
  xterm -geometry 240x80+0+0 -e sh -c "$scroll" &
  term_pid=$!
  sleep 1
  for fps in 10 30; do
    measure X11 "$fps" "$work/x11-$fps.avi" "Xvfb $xvfb_pid"
  done
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
  exit 0
fi

[ -n "${ZELQ_WAYLAND_DIR:-}" ] || { echo "the Wayland desktop did not start: ${ZELQ_WAYLAND_UNAVAILABLE:-}" >&2; exit 1; }
pid_of() { awk -v n="$1" '$1 == n { print $2 }' "$ZELQ_WAYLAND_DIR/pids"; }
for fps in 10 30; do
  measure Wayland "$fps" "$work/wayland-$fps.avi" \
    "sway $(pid_of sway) pipewire $(pid_of pipewire) xdpw $(pid_of xdpw)"
done
