#!/usr/bin/env bash
# Fuzzes one target with clang's libFuzzer.
#   ./fuzz.sh                 lists the targets
#   ./fuzz.sh NAME [SECONDS]  fuzzes fuzz_NAME (default 60 s), corpus in build/fuzz-corpus/NAME
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/install-deps.sh
tools/i386-exec.sh
build=build/libfuzzer
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTOR_SANITIZE=ON -DVANTOR_LIBFUZZER=ON >/dev/null
if [ $# -eq 0 ]; then
    cmake --build "$build" -j "$(nproc)" >/dev/null
    find "$build/fuzz" -maxdepth 1 -type f -executable -printf '%f\n' | sed 's/^fuzz_//' | sort
    exit 0
fi
name=$1; secs=${2:-60}
cmake --build "$build" --target "fuzz_$name" -j "$(nproc)"
corpus="$build/fuzz-corpus/$name"
mkdir -p "$corpus"
seeds=$(cat "$build/fuzz/fuzz_$name.corpus" 2>/dev/null || echo "fuzz/corpus/$name")
exec "$build/fuzz/fuzz_$name" -max_total_time="$secs" "$corpus" "$seeds"
