#!/usr/bin/env bash
# Builds the fuzz targets with clang++ (libFuzzer, AddressSanitizer, UBSan) in their own
# build folder and runs each for a bounded number of runs from its seed corpus, with a fixed
# seed, then over the inputs kept from earlier finds. A crash or a failed check fails the run
# and leaves the input under <build>/artifacts.
#   run-fuzz.sh SOURCE_DIR BUILD_DIR [RUNS]
set -euo pipefail
src=$(cd "$1" && pwd)
build=$2
runs=${3:-20000}
command -v clang++ >/dev/null || { echo "clang++ is missing: run scripts/deps" >&2; exit 1; }
cmake -S "$src" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRIN_WERROR=ON \
    -DKOVRIN_FUZZ=ON >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target fuzz_targets
mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$src/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in $(cd "$src/tests/fuzz/corpus" && ls); do
    work="$build/corpus/$target"
    rm -rf "$work" && mkdir -p "$work"
    echo "== $target: $runs runs"
    if ! "$build/bin/$target" -runs="$runs" -seed=20260325 -max_len=4096 -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$work" "$src/tests/fuzz/corpus/$target" 2>"$build/$target.log"; then
        tail -40 "$build/$target.log"
        status=1
        continue
    fi
    grep -E "stat::number_of_executed_units|stat::new_units_added|cov:" "$build/$target.log" \
        | tail -3
    regressions="$src/tests/fuzz/regressions/$target"
    if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
        "$build/bin/$target" "$regressions"/* 2>"$build/$target.regressions.log" \
            || { tail -40 "$build/$target.regressions.log"; status=1; }
    fi
done
exit $status
