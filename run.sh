#!/usr/bin/env bash
# Installs what is missing, builds the programs (release; no tests) and runs the system's main job:
# the OS (kez-host) with its modules, running the demo application in the device window.
#   ./run.sh                  the main job
#   ./run.sh PROGRAM ARGS...  one program of build/release/bin
#   ./run.sh --help           what can be run
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/install-deps.sh
tools/i386-exec.sh

build=build/release
bin="$top/$build/bin"

list_programs() {
    echo "Usage: ./run.sh [PROGRAM [ARGS...]]"
    echo "With no PROGRAM: the main job (tools/main-job.sh): the OS with its modules runs the demo"
    echo "application; './run.sh quillwatch 127.0.0.1' attaches the debugger once Ctrl+Shift+B stops it."
    echo "Programs built in $build/bin:"
    find "$bin" -maxdepth 1 -type f -executable ! -name '*.so' -printf '  %f\n' 2>/dev/null | sort
}

# Configures once, then builds only the programs, modules and their data, showing the build's
# progress (the first build takes several minutes).
if [ ! -f "$build/build.ninja" ]; then
    echo "Configuring $build (first run)..."
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if ! ninja -C "$build" -n programs 2>/dev/null | grep -q 'ninja: no work to do'; then
    echo "Building the programs in $build..."
    cmake --build "$build" --target programs -j "$(nproc)"
fi

if [ $# -eq 0 ]; then
    if [ -x "$top/tools/main-job.sh" ]; then
        exec "$top/tools/main-job.sh" "$bin"
    fi
    list_programs
    exit 0
fi
case "$1" in
    -h|--help|help) list_programs; exit 0 ;;
esac
prog="$1"; shift
if [ ! -x "$bin/$prog" ]; then
    echo "No program '$prog'." >&2
    list_programs >&2
    exit 2
fi
exec "$bin/$prog" "$@"
