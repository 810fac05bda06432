#!/usr/bin/env bash
# Installs what is missing, builds both targets with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test through CTest (graphical tests on a virtual X display).
#   ./test.sh                 everything
#   ./test.sh -L kez.kernel   only the tests whose label matches (any ctest arguments)
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/install-deps.sh
tools/i386-exec.sh

build=build/test
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON -DVANTOR_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

# The third, small build: Morvel's direct-call code as ARM code, its tests run under qemu-arm.
arm=build/arm
cmake -S morvel/directcall -B "$arm" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/ArmLinuxGnueabi.cmake" \
      -DVANTOR_WERROR=ON >/dev/null
cmake --build "$arm" -j "$jobs"
arm_status=0
(cd "$arm" && ctest --output-on-failure -j "$jobs" "$@") || arm_status=$?

cd "$build"
# The GTK tests need a display: give the whole run one virtual X server.
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs" "$@" || status=$?
[ "$status" -ne 0 ] && exit "$status"
exit "$arm_status"
