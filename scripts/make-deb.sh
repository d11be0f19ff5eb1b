#!/usr/bin/env bash
# Packs an already built tree into a .deb with CPack and prints the package's path. Nothing is compiled
# here: scripts/package.sh builds first, and the package test uses the tree the suite was built in.
#   scripts/make-deb.sh <build folder>
set -euo pipefail
build=$(realpath "$1")
out="$build/package"
rm -f "$out"/*.deb
cpack --config "$build/CPackConfig.cmake" -B "$out" >&2
debs=("$out"/*.deb)
[ -f "${debs[0]}" ] || { echo "no package was made in $out" >&2; exit 1; }
echo "${debs[0]}"
