#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer,
# every report fatal) and runs each one over its seed corpus, then for a bounded time.
#
#   fuzz/run.sh [SECONDS]    SECONDS of fuzzing per target after the seeds (default 25;
#                            0 runs the seeds only)
#
# TAVREL_FUZZ_BUILD_DIR: the build folder (default <repo>/build-fuzz). Inputs found while
# fuzzing are kept there (found/<target>), never added to fuzz/corpus; a crash leaves its
# input in <build>/artifacts and fails the script. To keep a crash as a regression case,
# copy that input into fuzz/corpus/<target>/ once the fault is fixed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TAVREL_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-25}"
cxx="${TAVREL_FUZZ_CXX:-$(command -v clang++ || command -v clang++-14)}"

cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build"
mkdir -p "$build/artifacts"

failed=()
for target in "$build"/fuzz_*; do
    name="${target##*/fuzz_}"
    seeds="$root/fuzz/corpus/$name"
    found="$build/found/$name"
    log="$build/$name.log"
    mkdir -p "$found"
    # Every seed once, the regression inputs of earlier findings among them; then new inputs.
    if "$target" -runs=0 "$seeds" >"$log" 2>&1 &&
        { [ "$seconds" -eq 0 ] ||
            "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
                -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
                "$found" "$seeds" >>"$log" 2>&1; }; then
        runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 || true)
        echo "fuzz $name: ok ($(ls "$seeds" | wc -l) seeds; ${runs:-seeds only})"
    else
        echo "fuzz $name: FAILED, see $log"
        grep -E 'ERROR|check failed|SUMMARY|Test unit written' "$log" | head -5 || true
        failed+=("$name")
    fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz targets failed: ${failed[*]}"; exit 1; }
