#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build/sanitize and runs the whole suite there, under the private X server as scripts/test.sh does.
# A report in our code fails the run; scripts/sanitize.supp lists the only reports let pass, all of them
# inside libraries we do not build (QtWebEngine's Chromium, the graphics and font stacks).
# Usage: scripts/sanitize.sh [ctest arguments, e.g. -R Repair]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
dir="$here/build/sanitize"
extra=()
if command -v ccache >/dev/null 2>&1; then extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
(
  flock 9
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELQ_BUILD_BENCH=OFF \
    -DZELQ_SANITIZE=address,undefined "${extra[@]}" >/dev/null
  cmake --build "$dir" -j2
) 9>/tmp/zelq-build.lock
supp="$here/scripts/sanitize.supp"
# Undefined behaviour stops the test at once, with the stack; leaks are reported when a test ends.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp"
# allocator_may_return_null: the tests ask for frames too large for memory and expect a refusal, not an
# abort. new_delete_type_mismatch: QtWebEngine's Chromium frees with sized deletes of other sizes than it
# allocated (inside the library, at every page's end); the check cannot be limited to one library.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:new_delete_type_mismatch=0"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
# Qt's OpenGL on X loads Mesa's driver and unloads it at exit, and what the driver keeps is then reported
# as leaked from a module that is gone, where no suppression can name it. The tests draw no OpenGL.
export QT_XCB_GL_INTEGRATION=none
cd "$dir"
# Instrumented code runs a few times slower: the longer time-out keeps the slow tests from being cut.
"$here/scripts/xsession.sh" ctest --output-on-failure -j2 --timeout 900 "$@"
