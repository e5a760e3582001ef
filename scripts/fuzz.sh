#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, AddressSanitizer + UBSan) in build-fuzz
# and runs each of them.
#
#   scripts/fuzz.sh                 every target for FUZZ_SECONDS (default 600 s each)
#   scripts/fuzz.sh --short         every target for about 60 s: the CI stage
#   scripts/fuzz.sh [--short] T...  only the targets named
#
# First every target replays the committed seed corpus (fuzz/corpus/<target>/), which
# is never written: inputs found while fuzzing go to build-fuzz/corpus/<target>/, and an
# input that breaks an invariant or crashes is kept as build-fuzz/findings/<target>-*.
# Reproduce one with: build-fuzz/fuzz/<target> build-fuzz/findings/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build-fuzz
JOBS=${JOBS:-$(nproc)}
SECONDS_EACH=${FUZZ_SECONDS:-600}
ALL_TARGETS=(fuzz_reply fuzz_address fuzz_rebuild fuzz_sim_session)

targets=()
for arg in "$@"; do
    case "$arg" in
    --short) SECONDS_EACH=${FUZZ_SECONDS:-60} ;;
    -h | --help)
        sed -n '2,12p' "$0"
        exit 0
        ;;
    *) targets+=("$arg") ;;
    esac
done
[[ ${#targets[@]} -gt 0 ]] || targets=("${ALL_TARGETS[@]}")

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi

start=$SECONDS
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFINS_FUZZ=ON -DFINS_SANITIZE=address,undefined -DFINS_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target fuzz_targets
echo "fuzz: built in $((SECONDS - start)) s"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$BUILD/findings"
for t in "${targets[@]}"; do
    bin=$BUILD/fuzz/$t
    [[ -x "$bin" ]] || { echo "fuzz: no target $t" >&2; exit 1; }
    mkdir -p "$BUILD/corpus/$t"
    t0=$SECONDS
    # Replays the seeds and the findings kept as regression inputs, then fuzzes.
    "$bin" -runs=0 -timeout=20 fuzz/corpus/"$t" 2>&1 | tail -n 2
    "$bin" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$BUILD/findings/$t-" "$BUILD/corpus/$t" fuzz/corpus/"$t" \
        >"$BUILD/$t.log" 2>&1 || {
        tail -n 60 "$BUILD/$t.log"
        echo "fuzz: $t found a failing input (kept in $BUILD/findings/)" >&2
        exit 1
    }
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$BUILD/$t.log" | grep -Eo '[0-9]+$' || echo '?')
    echo "fuzz: $t passed: $runs runs in $((SECONDS - t0)) s, corpus $(ls "$BUILD/corpus/$t" | wc -l) inputs"
done
echo "fuzz: all targets passed in $((SECONDS - start)) s"
