#!/usr/bin/env bash
# Coverage-guided fuzzing of every parser and decoder (libFuzzer, AddressSanitizer, UBSan).
#   scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]
# Builds the targets in $OVE_FUZZ_BUILD (default build-fuzz) with clang, writes the seed files,
# then runs each target (two at a time) for the given time (default 60 s) with bounded memory.
# Corpora grow in $OVE_FUZZ_BUILD/corpus/<target>; crashing inputs land in
# $OVE_FUZZ_BUILD/findings/<target>/. Prints executions, coverage and findings per target and
# exits 1 when any target found something.
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER=${1:-60}
shift || true
BUILD=${OVE_FUZZ_BUILD:-build-fuzz}
JOBS=${OVE_FUZZ_JOBS:-2}
ALL=(xml settings zip zip_cipher inflate inflate64 png bmp qoi jpg view font pict runmask lyrs tbl tagged wave)
if [ $# -gt 0 ]; then TARGETS=("$@"); else TARGETS=("${ALL[@]}"); fi

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOVE_FUZZ=ON -DOVE_TESTS=OFF -DOVE_BENCH=OFF >/dev/null || exit 2
cmake --build "$BUILD" -j2 --target fuzz_seeds $(printf 'fuzz_%s ' "${TARGETS[@]}") || exit 2

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Headless, in case a target ever touches SDL.
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

run_one() {  # target
    local t=$1 corpus="$BUILD/corpus/$1" out="$BUILD/findings/$1" log="$BUILD/logs/$1.log"
    mkdir -p "$corpus" "$out" "$(dirname "$log")"
    "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER" -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -timeout=10 -max_len=65536 -print_final_stats=1 -artifact_prefix="$out/" \
        "$corpus" "$BUILD/fuzz/seeds/$t" >"$log" 2>&1
    echo $? >"$log.rc"
}

running=0
for t in "${TARGETS[@]}"; do
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then wait -n; running=$((running - 1)); fi
done
wait

failed=0
printf "%-11s %12s %7s %7s %s\n" target execs cov ft findings
for t in "${TARGETS[@]}"; do
    log="$BUILD/logs/$t.log"
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    line=$(grep -E '^#[0-9]+' "$log" | grep -o 'cov: [0-9]* ft: [0-9]*' | tail -1)
    cov=$(echo "$line" | awk '{print $2}')
    ft=$(echo "$line" | awk '{print $4}')
    rc=$(cat "$log.rc" 2>/dev/null || echo 1)
    status=none
    if [ "$rc" != 0 ]; then
        status="$(grep -m1 -oE 'ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)[^(]*|runtime error: .*' "$log" | head -1) -> $(ls -t "$BUILD/findings/$t" | head -1)"
        failed=1
    fi
    printf "%-11s %12s %7s %7s %s\n" "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$status"
done
exit $failed
