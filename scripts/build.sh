#!/usr/bin/env bash
# Configures and builds the project into build/<type> (type: release or debug, default debug).
# Builds take a machine-wide lock: the machines have two cores and two builds at once only thrash.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
type=${1:-debug}
case "$type" in
  release) cmake_type=Release ;;
  debug) cmake_type=RelWithDebInfo ;;
  *) echo "usage: $0 [release|debug]" >&2; exit 2 ;;
esac
dir="$here/build/$type"
extra=()
if [ "${CI:-}" = "true" ]; then extra+=(-DZELQ_WERROR=ON); fi
if command -v ccache >/dev/null 2>&1; then extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
if [ "$type" = release ]; then extra+=(-DZELQ_BUILD_TESTS=OFF -DZELQ_BUILD_BENCH=OFF); fi
exec 9>/tmp/zelq-build.lock
flock 9
# Configure every time: new areas join the build by their own CMakeLists.txt, which only a configure sees.
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$cmake_type" "${extra[@]}" ${ZELQ_CMAKE_ARGS:-} >/dev/null
cmake --build "$dir" -j2
