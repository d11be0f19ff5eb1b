#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under a private X server with a window manager.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" debug
cd "$here/build/debug"
"$here/scripts/xsession.sh" ctest --output-on-failure -j2 --timeout 300 "$@"
