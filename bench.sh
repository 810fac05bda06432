#!/usr/bin/env bash
# Builds the benchmarks in bench/ (release) and runs them; each compares our code with a peer
# (qemu, or the C library, for example) side by side in the same run, several rounds, and prints
# the median rates and their ratio. Each benchmark also prints its main figures as lines
# "RESULT <benchmark> <kernel> <ours> <peer> <ours/peer> <unit>" (bench/BenchStats.h), which are
# gathered into one table at the end.
#   ./bench.sh            every benchmark
#   ./bench.sh NAME...    the named ones
# A failed configure or build shows its log and stops; a benchmark that fails is reported and the
# others still run (the exit status is then non-zero).
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
tools/install-deps.sh
os32_mode=$(tools/i386-exec.sh)
[ -n "$os32_mode" ] && echo "$os32_mode"
build=build/bench
mkdir -p "$build"
log=$build/bench-build.log
# Runs a build step quietly; on failure shows its log and stops.
step() {
    if ! "$@" >"$log" 2>&1; then
        echo "bench.sh: '$*' failed; its output ($log):" >&2
        tail -n 60 "$log" >&2
        exit 1
    fi
}
step cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BENCH=ON
names=("$@")
[ ${#names[@]} -eq 0 ] && mapfile -t names < <(grep -v '^$' "$build/bench/benchmarks.txt")
[ ${#names[@]} -eq 0 ] && { echo "bench.sh: no benchmarks are configured" >&2; exit 1; }
# Only the benchmarks and what they need are built. BENCH_JOBS limits the build on a shared machine.
echo "building ${names[*]} (log: $log)"
step cmake --build "$build" -j "${BENCH_JOBS:-$(nproc)}" --target "${names[@]}"
# An i386 benchmark under qemu-i386 measures the emulator as much as our code.
is_os32() { [ "$(head -c 5 "$1" | tail -c 1 | od -An -tu1 | tr -d ' ')" = 1 ]; }
failed=()
emulated=()
results=$build/bench/results.txt
: >"$results"
for n in "${names[@]}"; do
    echo "== $n"
    if [ -n "$os32_mode" ] && is_os32 "$build/bench/$n"; then
        emulated+=("$n")
        echo "warning: $n is an os32 (i386) program and runs emulated under qemu-i386 here:" \
             "its figures are not comparable with native ones"
    fi
    rc=0
    "$build/bench/$n" | tee "$build/bench/$n.out" || rc=$?
    # Figures of an emulated i386 program are marked as such in the summary.
    mark=""
    [[ " ${emulated[*]} " == *" $n "* ]] && mark=" (under-qemu-i386)"
    { grep '^RESULT ' "$build/bench/$n.out" || true; } | sed "s/\$/$mark/" >>"$results"
    if [ $rc -ne 0 ]; then
        echo "bench.sh: $n failed (exit status $rc)" >&2
        failed+=("$n")
    fi
done
if [ -s "$results" ]; then
    echo "== summary (medians of side-by-side runs)"
    printf '%-20s %-16s %12s %12s %10s %s\n' benchmark kernel ours peer ours/peer unit
    while read -r _ bench kernel ours peer ratio unit; do
        printf '%-20s %-16s %12s %12s %10s %s\n' "$bench" "$kernel" "$ours" "$peer" "$ratio" "$unit"
    done <"$results"
fi
if [ ${#emulated[@]} -gt 0 ]; then
    echo "warning: ran emulated under qemu-i386: ${emulated[*]}"
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "bench.sh: failed: ${failed[*]}" >&2
    exit 1
fi
