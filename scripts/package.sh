#!/usr/bin/env bash
# Installs what is missing, makes a release build and packs it into a .deb; prints the package's path.
#   scripts/package.sh [release|debug]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
type=${1:-release}
"$here/scripts/install-deps.sh" --program >&2
"$here/scripts/build.sh" "$type" >&2
"$here/scripts/make-deb.sh" "$here/build/$type"
