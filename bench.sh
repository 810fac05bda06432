#!/usr/bin/env bash
# Builds the benchmarks in bench/ (release) and runs them; each compares our code with a peer
# (qemu, for example) in the same run and prints the rates and their ratio.
#   ./bench.sh            every benchmark
#   ./bench.sh NAME...    the named ones
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/install-deps.sh
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    mapfile -t names < <(find "$build/bench" -maxdepth 1 -type f -executable -printf '%f\n' 2>/dev/null | sort)
fi
[ ${#names[@]} -eq 0 ] && { echo "no benchmarks built"; exit 0; }
for n in "${names[@]}"; do
    echo "== $n"
    "$build/bench/$n"
done
