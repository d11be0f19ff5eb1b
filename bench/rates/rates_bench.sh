#!/usr/bin/env bash
# The recording engine, with its frame window, recording a whole private X screen at 10, 30 and 60
# positions a second, beside ffmpeg's x11grab with msvideo1 and with libx264 (ultrafast) and
# SimpleScreenRecorder with its H.264 defaults at the same rate on the same screen in the same run.
# Three screens: still (the bare desktop), scroll (an xterm filling the screen, scrolling text about 60
# lines a second) and pattern (engine_pattern: every pixel changes about 30 times a second). For each
# screen it also prints what one frame costs to read: a memcpy of the same bytes, a whole grab, a grab of
# what changed; and what a pass costs each thread of a recording, two ways each (engine_record passes).
#
# Columns: frames stored, empty positions (ffprobe's length less its packets), CPU per cent of one core
# (user + system of the recording process, all threads), the X server's CPU over the same recording (it
# copies the screen for every recorder), file size; SimpleScreenRecorder's row adds the capture rate its
# own statistics measured, and a line gives the ratio of our CPU to its.
#
# Usage: bench/rates/rates_bench.sh [build dir] [seconds] [cell ...]
#   build dir: a debug build (it has the benches), default build/debug; seconds per recording, default 30;
#   a cell is SIZE:SCREEN:RATE, e.g. 1080:scroll:60 or 2160:pattern:30; default: every cell.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/debug}
seconds=${2:-30}
shift $(( $# > 2 ? 2 : $# ))
cells=("$@")
if [ ${#cells[@]} -eq 0 ]; then
  for size in 1080 2160; do for screen in still scroll pattern; do for rate in 10 30 60; do
    cells+=("$size:$screen:$rate"); done; done; done
fi
record=$build/bench/engine/engine_record
pattern=$build/bench/engine/engine_pattern
[ -x "$record" ] && [ -x "$pattern" ] || { echo "build the benches first: scripts/build.sh debug" >&2; exit 1; }

work=$(mktemp -d)
# shellcheck source=../xdisplay.sh
. "$here/bench/xdisplay.sh"
# shellcheck source=../ssr.sh
. "$here/bench/ssr.sh"
stop_screen() {
  for p in ${scene_pid:-} ${wm_pid:-} ${xvfb_pid:-}; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  scene_pid= wm_pid= xvfb_pid=
}
trap 'stop_screen; rm -rf "$work"' EXIT

start_scene() {  # $1 still|scroll|pattern, $2 width, $3 height
  case "$1" in
    still) ;;
    scroll)
      xterm -geometry "$(( $2 / 6 ))x$(( $3 / 13 ))+0+0" -e python3 -u -c '
import itertools, time
for i in itertools.count():
    print(f"{i:09d} " + "the quick brown fox jumps over the lazy dog 0123456789 " * 6)
    time.sleep(1 / 60)' >/dev/null 2>&1 &
      scene_pid=$!
      sleep 2 ;;
    pattern)
      coproc PATTERN { "$pattern"; }
      scene_pid=$PATTERN_PID
      read -r _ <&"${PATTERN[0]}" ;;
  esac
}

probe() {
  case "$1" in
    *.mkv) ssr_probe "$1" "$rate" ;;
    *) ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_frames,nb_read_packets -of csv=p=0 "$1" ;;
  esac
}
size_mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }
row() {  # recorder, file, cpu %, X server cpu %[, note]
  local length packets
  IFS=, read -r length packets < <(probe "$2")
  printf '  %-24s %7d %7d %7s %% %7s %% %8s MB%s\n' "$1" "$packets" "$((length - packets))" "$3" "$4" \
    "$(size_mb "$2")" "${5:+  $5}"
  rm -f "$2"
}
ffmpeg_row() {  # name, rate, width, height, codec args...
  local name=$1 rate=$2 w=$3 h=$4
  shift 4
  TIMEFORMAT='%U %S'
  local x0
  x0=$(ssr_ticks "$xvfb_pid")
  { time ffmpeg -v error -f x11grab -framerate "$rate" -video_size "${w}x${h}" -i "$DISPLAY" -t "$seconds" "$@" \
    -y "$work/peer.avi" >/dev/null 2>&1; } 2>"$work/time"
  local user sys
  read -r user sys <"$work/time"
  row "$name" "$work/peer.avi" "$(awk -v u="$user" -v s="$sys" -v d="$seconds" 'BEGIN { printf "%.1f", (u + s) * 100 / d }')" \
    "$(ssr_share "$x0" "$(ssr_ticks "$xvfb_pid")" "$seconds" "$(getconf CLK_TCK)")"
}

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg); $seconds s a recording"
current=
for cell in "${cells[@]}"; do
  IFS=: read -r size screen rate <<<"$cell"
  case "$size" in 1080) w=1920 h=1080 ;; 2160) w=3840 h=2160 ;; *) echo "no such size: $size" >&2; exit 2 ;; esac
  if [ "$current" != "$size:$screen" ]; then
    stop_screen
    start_display "$w" "$h" "$work"
    start_scene "$screen" "$w" "$h"
    current=$size:$screen
    read -r copy grab changes < <("$record" grab)
    echo
    echo "== ${w}x$h, $screen: one frame: memcpy $copy ms, whole grab $grab ms, grab of what changed $changes ms"
    read -r after through own last < <("$record" passes)
    echo "   a pass, thread CPU: grab converting afterwards $after ms, writing through $through ms;" \
      "encoder with its own copy $own ms, with the last frame $last ms"
    printf '  %-24s %7s %7s %9s %9s %11s\n' recorder frames empty CPU "X server" size
  fi
  echo " -- $rate positions a second"
  x0=$(ssr_ticks "$xvfb_pid")
  read -r _ _ cpu wall < <("$record" "$rate" "$seconds" "$work/ours.avi" 2>"$work/ours.log") || { cat "$work/ours.log" >&2; exit 1; }
  row "engine (MSVC)" "$work/ours.avi" "$cpu" "$(ssr_share "$x0" "$(ssr_ticks "$xvfb_pid")" "$wall" "$(getconf CLK_TCK)")"
  ffmpeg_row "ffmpeg msvideo1" "$rate" "$w" "$h" -c:v msvideo1
  ffmpeg_row "ffmpeg libx264 ultrafast" "$rate" "$w" "$h" -c:v libx264 -preset ultrafast
  ssr_record 0 0 "$w" "$h" "$rate" "$seconds" "$work/ssr.mkv" "$work" || exit 1
  row "SSR H.264 superfast" "$work/ssr.mkv" "$ssr_cpu" "$ssr_xshare" "its statistics $ssr_rate_in in/s"
  printf '  %-24s %23s\n' "CPU ours / SSR" "$(ssr_ratio "$cpu" "$ssr_cpu")"
done
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
