#!/usr/bin/env bash
# What an export costs: a 1920x1080 recording with sound, made by the capture engine as the program makes
# it (MSVC, 25 positions a second, what the computer plays), exported to MP4, WebM and GIF by the program's
# own --export, beside ffmpeg's command line doing the same conversion with the same settings (the same
# filters, encoders, presets, CRF, speed and sound), in the same run, each pair run in turn.
#
# The screen is engine_pattern's (every pixel changes about 30 times a second), the sound a beeping tone;
# both are stopped, with the X server, before the first export, so that nothing else runs meanwhile.
# Every row is measured by /usr/bin/time: wall seconds, CPU seconds (user + system, all threads) and peak
# resident memory; every file is read by ffprobe.
#
# Usage: bench/export/export_bench.sh [build dir] [runs]   (default build/debug, 3 runs)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
# The recordings' sound comes from a private sound server, never the user's own.
[ -n "${ZELQ_EXPORT_BENCH_INSIDE:-}" ] || ZELQ_EXPORT_BENCH_INSIDE=1 exec "$here/scripts/sound-session.sh" "$0" "$@"
build=${1:-$here/build/debug} runs=${2:-3}
record=$build/bench/engine/engine_record pattern=$build/bench/engine/engine_pattern program=$build/app/zelq-screenrec
[ -x "$record" ] && [ -x "$pattern" ] && [ -x "$program" ] ||
  { echo "build the program and the benches first: scripts/build.sh debug" >&2; exit 1; }

work=$(mktemp -d)
# shellcheck source=../xdisplay.sh
. "$here/bench/xdisplay.sh"
stop_scene() {
  for p in ${tone_pid:-} ${scene_pid:-} ${wm_pid:-} ${xvfb_pid:-}; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  tone_pid= scene_pid= wm_pid= xvfb_pid=
}
cleanup() {
  stop_scene
  rm -rf "$work"
}
trap cleanup EXIT

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

# --- the recordings: 600 and 1200 positions of 1080p with sound ---------------------------------------
start_display 1920 1080 "$work"
start_scene "$pattern"
# The engine records sound only where the interval times the rate is a second (40 ms at 25 a second);
# the exports are to carry sound, so a recording without it ends the bench.
for positions in 600 1200; do
  "$record" 25 $((positions / 25)) "$work/rec$positions.avi" computer >/dev/null 2>"$work/record.log" ||
    { cat "$work/record.log" >&2; exit 1; }
  [ -n "$(ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 "$work/rec$positions.avi")" ] ||
    { echo "rec$positions.avi has no sound: $(tail -c 300 "$work/record.log")" >&2; exit 1; }
done
stop_scene
for positions in 600 1200; do
  printf 'recording %s: %s positions, %s, %.0f MB\n' "rec$positions.avi" \
    "$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$work/rec$positions.avi")" \
    "$(ffprobe -v error -show_entries stream=codec_tag_string,codec_name,width,height -of csv=p=0 "$work/rec$positions.avi" | paste -sd' ' -)" \
    "$(awk -v b="$(stat -c %s "$work/rec$positions.avi")" 'BEGIN { print b / 1048576 }')"
done

# --- the exports ----------------------------------------------------------------------------------------
# The program's recipes, as ffmpeg's options (media/exportrecipe.cpp).
picture="fps=25,pad=ceil(iw/2)*2:ceil(ih/2)*2,scale=out_color_matrix=bt709:out_range=tv,format=yuv420p"
tags=(-color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv)
gifpicture="fps=15,scale=960:-1:flags=lanczos"
# Each runs its commands under /usr/bin/time, appending to $work/time; for the GIF's two ffmpeg commands
# the times add up and the peak is the larger one.
timed() { /usr/bin/time -f '%e %U %S %M' -o "$work/time" -a "$@"; }
theirs() {  # format, input, output
  case $1 in
    mp4) timed ffmpeg -nostdin -v error -i "$2" -vf "$picture" -c:v libx264 -preset veryfast -crf 20 "${tags[@]}" \
           -af aresample=48000,aformat=sample_fmts=fltp:channel_layouts=stereo -c:a aac -b:a 128k \
           -movflags +faststart -y "$3" ;;
    webm) timed ffmpeg -nostdin -v error -i "$2" -vf "$picture" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 \
           -row-mt 1 -tile-columns 2 -crf 32 -b:v 0 -threads "$(nproc)" "${tags[@]}" \
           -af aresample=48000,aformat=sample_fmts=flt:channel_layouts=stereo -c:a libopus -b:a 96k -y "$3" ;;
    gif) # two passes, as the program makes it: the palette from the whole recording, then the pictures
      timed ffmpeg -nostdin -v error -i "$2" -vf "$gifpicture,palettegen" -y "$3.palette.png" &&
        timed ffmpeg -nostdin -v error -i "$2" -i "$3.palette.png" -lavfi \
          "[0:v]$gifpicture[x];[x][1:v]paletteuse=dither=bayer:bayer_scale=5:diff_mode=rectangle" -loop 0 -y "$3" ;;
  esac
}
ours() {  # format, input, output
  rm -f "$3"
  timed "$program" --export="$2" --format="$1" --output="$3" >/dev/null 2>"$work/ours.log" || { cat "$work/ours.log" >&2; return 1; }
}
# One measured run: prints wall s, CPU s, peak MB and bytes; the file's streams as ffprobe reads them go
# beside it.
measure() {  # ours|ffmpeg, format, input, output
  rm -f "$work/time"
  if [ "$1" = ours ]; then ours "$2" "$3" "$4"; else theirs "$2" "$3" "$4"; fi
  ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$4" | paste -sd+ - >"$4.streams"
  awk -v size="$(stat -c %s "$4")" '{ w += $1; c += $2 + $3; if ($4 > m) m = $4 } END { printf "%.2f %.2f %.1f %d\n", w, c, m / 1024, size }' "$work/time"
}
cell() { printf '%6.2f s %6.2f s %6.1f MB %6.2f MB' "$1" "$2" "$3" "$(awk -v b="$4" 'BEGIN { print b / 1048576 }')"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A results
for ((run = 1; run <= runs; run++)); do
  for format in mp4 webm gif; do
    for who in ours ffmpeg; do
      line=$(measure "$who" "$format" "$work/rec600.avi" "$work/$who.$format")
      echo "  run $run, $format, $who: $line" >&2  # the raw figures: wall s, CPU s, peak MB, bytes
      results[$format.$who]+="$line"$'\n'
    done
  done
done

echo
echo "600 positions (24 s) of 1080p with sound, medians of $runs runs (wall s, CPU s, peak MB, size MB):"
printf '  %-5s %-38s %-38s %s\n' format ours ffmpeg "ours/ffmpeg wall, CPU"
for format in mp4 webm gif; do
  for who in ours ffmpeg; do
    for column in 1 2 3 4; do
      declare "m_${who}_$column=$(printf '%s' "${results[$format.$who]}" | awk -v c=$column 'NF { print $c }' | median)"
    done
  done
  printf '  %-5s %-38s %-38s %.2f, %.2f   (%s / %s)\n' "$format" "$(cell "$m_ours_1" "$m_ours_2" "$m_ours_3" "$m_ours_4")" \
    "$(cell "$m_ffmpeg_1" "$m_ffmpeg_2" "$m_ffmpeg_3" "$m_ffmpeg_4")" \
    "$(awk -v a="$m_ours_1" -v b="$m_ffmpeg_1" 'BEGIN { print a / b }')" \
    "$(awk -v a="$m_ours_2" -v b="$m_ffmpeg_2" 'BEGIN { print a / b }')" \
    "$(cat "$work/ours.$format.streams")" "$(cat "$work/ffmpeg.$format.streams")"
done

echo
echo "1200 positions (48 s), once each: does the peak memory grow with the length?"
for format in mp4 webm gif; do
  read -r wall cpu peak size < <(measure ours "$format" "$work/rec1200.avi" "$work/long.$format")
  printf '  %-5s ours %s\n' "$format" "$(cell "$wall" "$cpu" "$peak" "$size")"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
