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

cd "$build"
# The GTK tests need a display: give the whole run one virtual X server.
exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs" "$@"
