#!/usr/bin/env bash
# Builds the whole test suite twice, with AddressSanitizer + UndefinedBehaviorSanitizer
# (build-asan) and with ThreadSanitizer (build-tsan), and runs ctest in each. Any
# sanitizer report stops the test that made it, so the stage fails.
#
#   scripts/test-sanitizers.sh            both builds
#   scripts/test-sanitizers.sh asan|tsan  one of them
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
WHICH=${1:-all}

# Every lock of the driver goes through driver/driver_lock.h: TSan cannot see a QMutex
# of the uninstrumented Qt order anything unless the wrapper announces it.
check_locks() {
    local hits
    hits=$(grep -rnE 'QMutexLocker|QWriteLocker|QReadLocker|\b(list_mutex|data_mutex)\.(lock|unlock|tryLock)\b|\.(lock|unlock|tryLock)\(\)' \
        api driver frames varlists localimage codec --include='*.cpp' --include='*.h' |
        grep -v '^driver/driver_lock.h:' || true)
    if [[ -n "$hits" ]]; then
        echo "sanitizers: a lock bypasses driver/driver_lock.h:"
        echo "$hits"
        return 1
    fi
    echo "sanitizers: every driver lock goes through driver_lock.h"
}

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$ROOT/tests/stress/tsan.supp"

run_build() {
    local name=$1 sanitize=$2 start=$SECONDS
    echo "sanitizers: $name (-fsanitize=$sanitize)"
    # -O1 with line tables only: quicker to build than RelWithDebInfo, still fast to run,
    # and every report still names file and line.
    cmake -S . -B "build-$name" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
        -DFINS_SANITIZE="$sanitize" >/dev/null
    cmake --build "build-$name" -j "$JOBS"
    (cd "build-$name" && ctest --output-on-failure -j "$JOBS")
    echo "sanitizers: $name passed in $((SECONDS - start)) s"
}

check_locks
case "$WHICH" in
all)
    run_build asan address,undefined
    run_build tsan thread
    ;;
asan) run_build asan address,undefined ;;
tsan) run_build tsan thread ;;
*)
    echo "usage: $0 [asan|tsan]" >&2
    exit 2
    ;;
esac
