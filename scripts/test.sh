#!/usr/bin/env bash
# Sets up and builds everything, then runs all tests: the release build with
# every test, the AddressSanitizer build with the core tests, and each fuzz
# target for a bounded time (FUZZ_SECONDS, default 15).
#   bash scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh release asan fuzz

jobs=$(nproc)
echo "== release: all tests"
ctest --preset release -j "$jobs"
echo "== asan: core tests"
LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan_suppressions.txt \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --preset asan -j "$jobs"

seconds=${FUZZ_SECONDS:-15}
passed=0
failed=0
for target in build/fuzz/fuzz/fuzz_*; do
    [[ -x $target && ! -d $target ]] || continue
    name=$(basename "$target")
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [[ -d fuzz/corpus/$name ]] && seeds=("fuzz/corpus/$name")
    echo "== fuzz: $name for ${seconds}s"
    lsan="suppressions=$PWD/fuzz/lsan_suppressions.txt"
    # The compound-file library has no frame pointers: unwind its allocations slowly.
    [[ $name == fuzz_stg_read ]] && lsan+=":fast_unwind_on_malloc=0"
    if LSAN_OPTIONS=$lsan "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$corpus" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        tail -n 60 "build/fuzz/$name.log"
        echo "fuzz target $name failed" >&2
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
