#!/usr/bin/env bash
# The delay from `zelq-screenrec --record-full` to the moment of the screen its first frame shows, on the
# headless sway desktop (scripts/wayland-session.sh) and on the headless GNOME desktop
# (scripts/gnome-session.sh), RUNS times each (default 5) with no copy of the program running; each run's
# figure, then the median per desktop. bench/program's first_frame draws the milliseconds as bars in an
# Xwayland window and reads them back from the file's first frame.
# The first start on a desktop may ask which monitor to share (GNOME does; the test desktop's answerer
# says "Share"): it is not counted, and the runs counted start from the token it left, as every start
# after a person's first answer does.
# Usage: bench/wayland/first_frame.sh BUILD [RUNS]     (BUILD: a build folder with app/ and bench/)
set -euo pipefail
build=$(realpath "$1")
runs=${2:-5}
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ -z "${ZELQ_WAYLAND_DIR:-}" ]; then
  [ -x "$build/bench/program/first_frame" ] || { echo "build the benches first: scripts/build.sh debug" >&2; exit 1; }
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  for desktop in wayland gnome; do
    echo "== $desktop-session.sh"
    "$root/scripts/$desktop-session.sh" run "$0" "$build" "$runs"
  done
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
  exit 0
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The program as it is installed for one user: its own folder and settings file, HOME of its own (the
# portal's token goes to its state folder).
mkdir -p "$scratch/program" "$scratch/home"
cp "$build/app/zelq-screenrec" "$scratch/program/"
printf '[default]\nIsFirtRunSoftware=0\n' >"$scratch/program/defualt.ini"
export HOME=$scratch/home QT_QPA_PLATFORM=xcb
unset XDG_STATE_HOME
"$build/bench/program/first_frame" "$scratch/program/zelq-screenrec" "$scratch/asked.avi" 2>/dev/null |
  sed -n 's/^first frame/(not counted) first frame/p'
for i in $(seq "$runs"); do
  "$build/bench/program/first_frame" "$scratch/program/zelq-screenrec" "$scratch/run$i.avi" 2>/dev/null
done | grep "^first frame" | tee "$scratch/lines"
sort -n -k3 "$scratch/lines" | awk '{ a[NR] = $3 } END { print "median of " NR ": " a[int((NR + 1) / 2)] " ms" }'
