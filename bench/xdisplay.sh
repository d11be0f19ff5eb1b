# Sourced by the bench scripts: start_display WIDTH HEIGHT SCRATCH starts a private Xvfb of that size
# (depth 24, MIT-SHM) with openbox, exports DISPLAY and XDG_RUNTIME_DIR, and sets xvfb_pid and wm_pid for
# the caller to end.
start_display() {
  rm -f "$3/fd"
  exec 3>"$3/fd"
  Xvfb -displayfd 3 -screen 0 "$1x$2x24" -nolisten tcp +extension MIT-SHM >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$3/fd" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$3/fd")"
  export XDG_RUNTIME_DIR="$3"
  openbox >/dev/null 2>&1 &
  wm_pid=$!
  sleep 1
}

# start_scene PATTERN: the moving engine_pattern screen (PATTERN is its path) and a 440 Hz beep four
# times a second played into the sound server, for as long as they run; sets scene_pid and tone_pid for
# the caller to end.
start_scene() {
  coproc PATTERN { "$1" 2>/dev/null; }
  scene_pid=$PATTERN_PID
  read -r _ <&"${PATTERN[0]}"
  ffmpeg -v quiet -re -f lavfi -i "sine=frequency=440:beep_factor=4" -f s16le -ar 48000 -ac 2 - 2>/dev/null |
    pacat --format=s16le --rate=48000 --channels=2 2>/dev/null &
  tone_pid=$!
}
