#!/usr/bin/env bash
# Installs what is missing, makes a release build and starts the program on the current display,
# or on a private Xvfb when there is none.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh" --program
"$here/scripts/build.sh" release
exe="$here/build/release/app/zelq-screenrec"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$exe" "$@"
fi
echo "No X display found: starting the program on a private Xvfb (1920x1080)."
ZELQ_ANNOUNCE_DISPLAY=1 exec "$here/scripts/xsession.sh" "$exe" "$@"
