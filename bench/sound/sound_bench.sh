#!/usr/bin/env bash
# What sound costs a recording: the capture engine recording a 1920x1080 screen at 10 positions a second
# (MSVC, the defaults) without sound and with what the computer plays, beside ffmpeg's x11grab with
# msvideo1 alone and with PulseAudio capture of the same output's monitor into 16-bit PCM, in one AVI,
# in the same run. The screen is engine_pattern's (every pixel changes about 30 times a second); the
# sound is a beeping tone played into the output all along. Both run on a private X server and a private
# sound server (scripts/sound-session.sh), never on the user's own.
#
# Columns: frames stored, empty positions, CPU per cent of one core (user + system of the recording
# process, all threads), file size, size per minute of recording, and the streams ffprobe finds.
#
# Usage: bench/sound/sound_bench.sh [build dir] [seconds]   (default build/debug, 60 s a recording)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${ZELQ_SOUND_BENCH_INSIDE:-}" ]; then
  export ZELQ_SOUND_BENCH_INSIDE=1
  exec "$here/scripts/sound-session.sh" "$0" "$@"
fi
build=${1:-$here/build/debug}
seconds=${2:-60}
record=$build/bench/engine/engine_record
pattern=$build/bench/engine/engine_pattern
[ -x "$record" ] && [ -x "$pattern" ] || { echo "build the benches first: scripts/build.sh debug" >&2; exit 1; }

work=$(mktemp -d)
# shellcheck source=../xdisplay.sh
. "$here/bench/xdisplay.sh"
cleanup() {
  for p in ${tone_pid:-} ${scene_pid:-} ${wm_pid:-} ${xvfb_pid:-}; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_display 1920 1080 "$work"
# The moving screen, and a 440 Hz beep four times a second played for as long as the bench runs.
start_scene "$pattern"
monitor="$(pactl get-default-sink).monitor"

streams() { ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$1" | paste -sd+ -; }
row() {  # recorder, file, cpu %
  local length packets size
  IFS=, read -r length packets < <(ffprobe -v error -count_packets -select_streams v:0 \
    -show_entries stream=nb_frames,nb_read_packets -of csv=p=0 "$2")
  size=$(stat -c %s "$2")
  printf '  %-34s %7d %7d %7s %% %8s MB %8s MB %s\n' "$1" "$packets" "$((length - packets))" "$3" \
    "$(awk -v b="$size" 'BEGIN { printf "%.1f", b / 1048576 }')" \
    "$(awk -v b="$size" -v s="$seconds" 'BEGIN { printf "%.1f", b / 1048576 * 60 / s }')" "$(streams "$2")"
  rm -f "$2"
}
ours() {  # name, sound
  local cpu
  read -r _ _ cpu _ < <("$record" 10 "$seconds" "$work/ours.avi" "$2" 2>"$work/ours.log") || { cat "$work/ours.log" >&2; exit 1; }
  row "$1" "$work/ours.avi" "$cpu"
}
theirs() {  # name, ffmpeg input and codec args...
  local name=$1 user sys
  shift
  TIMEFORMAT='%U %S'
  { time ffmpeg -v error -thread_queue_size 64 -f x11grab -framerate 10 -video_size 1920x1080 -i "$DISPLAY" "$@" \
    -t "$seconds" -c:v msvideo1 -y "$work/peer.avi" >/dev/null 2>&1; } 2>"$work/time"
  read -r user sys <"$work/time"
  row "$name" "$work/peer.avi" "$(awk -v u="$user" -v s="$sys" -v d="$seconds" 'BEGIN { printf "%.1f", (u + s) * 100 / d }')"
}

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg); $seconds s a recording, 1920x1080, 10 positions a second"
printf '  %-34s %7s %7s %9s %11s %11s %s\n' recorder frames empty CPU size "per minute" streams
ours "engine (MSVC), no sound" none
ours "engine (MSVC), computer's sound" computer
theirs "ffmpeg x11grab msvideo1"
theirs "ffmpeg x11grab msvideo1 + pulse" -thread_queue_size 64 -f pulse -i "$monitor" -c:a pcm_s16le -ar 48000 -ac 2
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
