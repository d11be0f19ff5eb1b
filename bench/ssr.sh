# shellcheck shell=bash
# Sourced by the recording benches: SimpleScreenRecorder (Debian's package) as a peer, driven without a
# click. It reads everything from a settings file we write, starts recording at once
# (--start-recording, its window hidden so it is not in the picture), writes its own statistics
# (--statsfile) and takes commands on its standard input: "record-save" finishes and closes the file,
# "quit" ends it.
#
# ssr_record X Y WIDTH HEIGHT RATE SECONDS FILE SCRATCH
#   records that rectangle of $DISPLAY at RATE a second for SECONDS into FILE (Matroska) with its H.264
#   defaults (libx264, CRF 23, its "superfast" preset). It offers nothing nearer our codec: its list
#   holds only encoders of the pixel formats it converts to, so neither msvideo1 (RGB555) nor qtrle.
#   Sets ssr_cpu (per cent of one core: user + system of its process, all threads, from the moment its
#   statistics say it records until the file is closed, over the seconds from that moment to
#   "record-save"), ssr_xshare (the X server's share over those seconds; the caller's $xvfb_pid) and
#   ssr_rate_in (the capture rate its own statistics measured last).
#   Returns non-zero, with its log on stderr, when it does not start recording within 30 s or does not
#   close its file within 120 s.
# ssr_ratio A B
#   prints A / B to two places (0 when B is 0): our CPU over a peer's.
# ssr_probe FILE RATE
#   prints "positions,packets" like the AVI rows' probe: Matroska keeps no length, so the positions are
#   counted from the first to the last packet's time.

# Ends it by force and shows its log, when it did not start recording or did not close its file in time.
ssr_fail() {
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  exec {ssr_in}>&-
  cat "$2" >&2
  return 1
}

ssr_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

ssr_record() {
  local x=$1 y=$2 w=$3 h=$4 rate=$5 seconds=$6 file=$7 scratch=$8
  local settings=$scratch/ssr.conf stats=$scratch/ssr.stats fifo=$scratch/ssr.in log=$scratch/ssr.log
  # Written afresh each time: it saves every setting back into this file when it quits.
  cat >"$settings" <<EOF
[input]
audio_enabled=false
video_area=fixed
video_x=$x
video_y=$y
video_w=$w
video_h=$h
video_frame_rate=$rate
video_record_cursor=true
video_scale=false

[output]
file=$file
add_timestamp=false
separate_files=false
container=mkv
video_codec=h264
video_h264_crf=23
video_h264_preset=1
video_allow_frame_skipping=true

[welcome]
skip_page=true
EOF
  rm -f "$file" "$stats" "$fifo"
  mkfifo "$fifo"
  HOME=$scratch simplescreenrecorder --settingsfile="$settings" --statsfile="$stats" --no-systray \
    --start-hidden --start-recording <"$fifo" >"$log" 2>&1 &
  local pid=$!
  # Held open for the whole run: its standard input ends (and it complains) when the last writer closes.
  exec {ssr_in}>"$fifo"
  for _ in $(seq 300); do
    grep -qP '^recording\t1' "$stats" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break # it gave up: no display, a setting it refused
    sleep 0.1
  done
  grep -qP '^recording\t1' "$stats" 2>/dev/null || { ssr_fail "$pid" "$log"; return 1; }
  local a xa xb t0 t1
  a=$(ssr_ticks "$pid"); xa=$(ssr_ticks "$xvfb_pid"); t0=$EPOCHREALTIME
  sleep "$seconds"
  ssr_rate_in=$(awk -F'\t' '$1 == "frame_rate_in" { printf "%.2f", $2 }' "$stats")
  xb=$(ssr_ticks "$xvfb_pid"); t1=$EPOCHREALTIME
  echo record-save >&"$ssr_in"
  # It deletes its statistics when the recording page closes, after the encoder's last frame is written.
  for _ in $(seq 1200); do [ -e "$stats" ] || break; sleep 0.1; done
  [ ! -e "$stats" ] || { ssr_fail "$pid" "$log"; return 1; }
  local b tck
  b=$(ssr_ticks "$pid"); tck=$(getconf CLK_TCK)
  echo quit >&"$ssr_in"
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" || true
  exec {ssr_in}>&-
  local s
  s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  ssr_cpu=$(ssr_share "$a" "$b" "$s" "$tck")
  ssr_xshare=$(ssr_share "$xa" "$xb" "$s" "$tck")
}

# Per cent of one core used between tick counts $1 and $2 over $3 seconds, $4 ticks a second.
ssr_share() { awk -v a="$1" -v b="$2" -v s="$3" -v t="$4" 'BEGIN { printf "%.1f", (b - a) * 100 / (s * t) }'; }

ssr_probe() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$1" |
    sort -g | awk -v r="$2" 'NR == 1 { first = $1 } { last = $1; n++ }
      END { printf "%d,%d\n", n ? int((last - first) * r + 0.5) + 1 : 0, n }'
}

ssr_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
