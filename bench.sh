#!/usr/bin/env bash
# Builds the benchmarks in bench/ (release) and runs them; each compares our code with a peer
# (qemu, for example) in the same run and prints the rates and their ratio.
#   ./bench.sh            every benchmark
#   ./bench.sh NAME...    the named ones
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/install-deps.sh
os32_mode=$(tools/i386-exec.sh)
[ -n "$os32_mode" ] && echo "$os32_mode"
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    mapfile -t names < <(find "$build/bench" -maxdepth 1 -type f -executable -name '*_bench' -printf '%f\n' 2>/dev/null | sort)
fi
[ ${#names[@]} -eq 0 ] && { echo "no benchmarks built"; exit 0; }
# An i386 benchmark under qemu-i386 measures the emulator as much as our code.
is_os32() { [ "$(head -c 5 "$1" | tail -c 1 | od -An -tu1 | tr -d ' ')" = 1 ]; }
for n in "${names[@]}"; do
    echo "== $n"
    if [ -n "$os32_mode" ] && is_os32 "$build/bench/$n"; then
        echo "warning: $n is an os32 (i386) program and ran emulated under qemu-i386 here:" \
             "its figures are not comparable with native ones"
    fi
    "$build/bench/$n"
done
