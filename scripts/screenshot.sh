#!/usr/bin/env bash
# Takes a screenshot of the program as a user first sees it, on a private Xvfb with openbox:
#   scripts/screenshot.sh out.png [recording files to place in the folder...]
# The program runs from a copy in a temporary folder with a temporary HOME, so nothing of yours is touched.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1"); shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/build/debug/app/zelq-screenrec" "$work/"
mkdir -p "$work/home/ZelqWare/ScreenREC"
for f in "$@"; do : > "$work/home/ZelqWare/ScreenREC/$f"; done
"$here/scripts/xsession.sh" bash -c "
  cd '$work' || exit 1
  HOME='$work/home' ./zelq-screenrec & pid=\$!
  sleep 3
  import -window root '$out'
  kill -TERM \$pid; wait \$pid"
echo "wrote $out"
