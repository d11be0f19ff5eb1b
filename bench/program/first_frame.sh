#!/usr/bin/env bash
# The delay from `zelq-screenrec --record-full` to the moment of the screen its first frame shows, RUNS
# times (default 5) with no copy of the program running, on a private Xvfb of 1920x1080 with openbox and a
# session bus of its own; each run's figure, then the median.
# (The program prints each path with --wait; only the figures are kept.)
# Usage: bench/program/first_frame.sh BUILD [RUNS]     (BUILD: a build folder with app/ and bench/)
set -euo pipefail
build=$(realpath "$1")
runs=${2:-5}
here=$(dirname "$(realpath "$0")")
scratch=$(mktemp -d)
. "$here/../xdisplay.sh"
cleanup() {
  kill "${wm_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
start_display 1920 1080 "$scratch"
# The program as it is installed for one user: its own folder and settings file, HOME of its own.
mkdir -p "$scratch/program" "$scratch/home"
cp "$build/app/zelq-screenrec" "$scratch/program/"
printf '[default]\nIsFirtRunSoftware=0\n' >"$scratch/program/defualt.ini"
export HOME=$scratch/home
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
dbus-run-session -- bash -c '
  for i in $(seq "$1"); do
    "$2/bench/program/first_frame" "$3/program/zelq-screenrec" "$3/run$i.avi"
  done' _ "$runs" "$build" "$scratch" 2>/dev/null | grep "^first frame" | tee "$scratch/lines"
sort -n -k3 "$scratch/lines" | awk '{ a[NR] = $3 } END { print "median of " NR ": " a[int((NR + 1) / 2)] " ms" }'
