#!/usr/bin/env bash
# The sound's sync over a long whole-screen recording with full motion (sound_sync.cpp says what is
# measured), on a private X server of the size asked for and a private sound server. The timeline's
# jumps and corrections, and each screen read answered more than an interval late, are logged beside the
# figures, each with the moment of the recording it came at.
#
# Usage: bench/sound/sync_bench.sh [build dir] [width] [height] [positions a second] [seconds]
#        (default build/debug 1920 1080 25 600). The file is deleted after it is read, unless
#        ZELQ_KEEP_FILE names where to keep it.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${ZELQ_SYNC_BENCH_INSIDE:-}" ]; then
  export ZELQ_SYNC_BENCH_INSIDE=1
  exec "$here/scripts/sound-session.sh" "$0" "$@"
fi
build=${1:-$here/build/debug}
width=${2:-1920}
height=${3:-1080}
fps=${4:-25}
seconds=${5:-600}
sync=$build/bench/sound/sound_sync
pattern=$build/bench/engine/engine_pattern
[ -x "$sync" ] && [ -x "$pattern" ] || { echo "build the benches first: scripts/build.sh debug" >&2; exit 1; }

work=$(mktemp -d)
# shellcheck source=../xdisplay.sh
. "$here/bench/xdisplay.sh"
cleanup() {
  for p in ${wm_pid:-} ${xvfb_pid:-}; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_display "$width" "$height" "$work"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg); ${width}x${height}, $fps positions a second, $seconds s"
file=${ZELQ_KEEP_FILE:-$work/sync.avi}
QT_LOGGING_RULES="zelq.sound.timeline.debug=true;zelq.sound.debug=true;zelq.capture.timing.debug=true" QT_MESSAGE_PATTERN="%{category}: %{message}" \
  "$sync" "$fps" "$seconds" "$file" "$pattern"
ffprobe -v error -show_entries stream=codec_name,nb_frames -of csv=p=0 "$file" | sed 's/^/ffprobe: /'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
