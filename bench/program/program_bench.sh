#!/usr/bin/env bash
# The whole program as a user runs it: started on a private X server (1920x1080x24, openbox), left idle,
# then recording the whole screen at its defaults, with ffmpeg's x11grab recording the same screen with
# the same codec and SimpleScreenRecorder with its H.264 defaults beside it in the same run. Prints CPU
# shares (per cent of one core) from /proc, and the ratio of ours to SimpleScreenRecorder's.
#
# Usage: bench/program/program_bench.sh [build dir] [idle seconds] [recording seconds] [moving|still]
#   defaults: build/release (built if missing), 20, 60, still. "moving" keeps the screen changing with
#   the engine bench's pattern program (needs a debug build, which builds the benches).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/release}
idle=${2:-20}
record=${3:-60}
screen=${4:-still}
[ -x "$build/app/zelq-screenrec" ] || "$here/scripts/build.sh" release >/dev/null
tck=$(getconf CLK_TCK)

work=$(mktemp -d)
cleanup() {
  for p in ${pattern_pid:-} ${app_pid:-} ${wm_pid:-} ${xvfb_pid:-}; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# User and system ticks of a process and every process below it (the browser's helpers run as children).
cpu_ticks() {
  local total=0 pid t
  for pid in $1 $(pgrep -d ' ' -P "$1" 2>/dev/null); do
    [ "$pid" = "$1" ] || { total=$((total + $(cpu_ticks "$pid"))); continue; }
    t=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0)
    total=$((total + t))
  done
  echo "$total"
}
# Per cent of one core used between tick counts $1 and $2 over $3 seconds.
share() { awk -v a="$1" -v b="$2" -v s="$3" -v t="$tck" 'BEGIN { printf "%.2f", (b - a) * 100 / (s * t) }'; }

# shellcheck source=../xdisplay.sh
. "$here/bench/xdisplay.sh"
# shellcheck source=../ssr.sh
. "$here/bench/ssr.sh"
start_display 1920 1080 "$work"

mkdir -p "$work/program" "$work/home"
cp "$build/app/zelq-screenrec" "$work/program/"
# A returning user: a first run opens the help window over the buttons.
printf '[default]\nIsFirtRunSoftware=0\n' >"$work/program/defualt.ini"
HOME="$work/home" "$work/program/zelq-screenrec" >"$work/program.log" 2>&1 &
app_pid=$!
title="ZELQ屏幕录像助手1.2"
for _ in $(seq 100); do win=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true); [ -n "$win" ] && break; sleep 0.1; done
[ -n "${win:-}" ] || { echo "the main window did not appear" >&2; exit 1; }
sleep 5  # start-up settles: the first-run tick, the window manager's maximise

echo "== Idle: the program on screen, doing nothing, for $idle s"
a=$(cpu_ticks "$app_pid"); x=$(cpu_ticks "$xvfb_pid")
sleep "$idle"
b=$(cpu_ticks "$app_pid"); y=$(cpu_ticks "$xvfb_pid")
echo "program   $(share "$a" "$b" "$idle") % of a core"
echo "X server  $(share "$x" "$y" "$idle") % of a core"

echo
echo "== Recording the whole screen ($screen) for $record s at the defaults (MSVC, 100 ms, 10 per second)"
# The full-screen button is the first of the button column: frame strip 10 + margin 6 across, and frame
# strip 15 + banner 62 + folder bar 75 + splitter 4 + margin 6 + half a button 14 down.
xdotool mousemove --window "$win" 74 176 click 1
for _ in $(seq 50); do xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 || break; sleep 0.1; done
if xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; then echo "the recording did not start" >&2; exit 1; fi
if [ "$screen" = moving ]; then
  coproc PATTERN { "$build/bench/engine/engine_pattern"; }
  pattern_pid=$PATTERN_PID
  read -r _ <&"${PATTERN[0]}"
fi
a=$(cpu_ticks "$app_pid"); x=$(cpu_ticks "$xvfb_pid")
sleep "$record"
b=$(cpu_ticks "$app_pid"); y=$(cpu_ticks "$xvfb_pid")
xdotool key Escape
for _ in $(seq 100); do xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 2
ours=$work/home/ZelqWare/ScreenREC/1.avi
probe() { ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_frames,nb_read_packets -of csv=p=0 "$1"; }
IFS=, read -r length packets < <(probe "$ours")
ours_cpu=$(share "$a" "$b" "$record")
echo "program   $ours_cpu % of a core; X server $(share "$x" "$y" "$record") %; $packets frames in $length positions, $((length - packets)) empty"

# The peer: ffmpeg's x11grab with the same codec, rate and length on the same screen.
peer=$work/ffmpeg.avi
x=$(cpu_ticks "$xvfb_pid")
TIMEFORMAT='%U %S'
{ time ffmpeg -v error -f x11grab -framerate 10 -video_size 1920x1080 -i "$DISPLAY" -t "$record" -c:v msvideo1 \
  -y "$peer" 2>/dev/null; } 2>"$work/ffmpeg.time"
y=$(cpu_ticks "$xvfb_pid")
read -r user sys <"$work/ffmpeg.time"
IFS=, read -r plength ppackets < <(probe "$peer")
fshare=$(awk -v u="$user" -v s="$sys" -v d="$record" 'BEGIN { printf "%.2f", (u + s) * 100 / d }')
echo "ffmpeg    $fshare % of a core; X server $(share "$x" "$y" "$record") %; $ppackets frames in $plength positions, $((plength - ppackets)) empty"

# The other peer: SimpleScreenRecorder on the same screen at the same rate for as long.
ssr_record 0 0 1920 1080 10 "$record" "$work/ssr.mkv" "$work" || exit 1
IFS=, read -r slength spackets < <(ssr_probe "$work/ssr.mkv" 10)
echo "SSR       $ssr_cpu % of a core; X server $ssr_xshare %; $spackets frames in $slength positions, $((slength - spackets)) empty (H.264; its statistics: $ssr_rate_in in/s)"
echo "CPU ours / SSR $(ssr_ratio "$ours_cpu" "$ssr_cpu"); ours / ffmpeg $(ssr_ratio "$ours_cpu" "$fshare")"
