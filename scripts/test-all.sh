#!/usr/bin/env bash
# Every test of the project, in stages; the first failing stage stops the run.
# Called by `make test` after setup, and so by CI.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

stage_start=
stage() {
  echo
  [[ -z $stage_start ]] || echo "(previous stage: $((SECONDS - stage_start)) s; total $SECONDS s)"
  stage_start=$SECONDS
  echo "=== $* ==="
}
trap '[[ -z $stage_start ]] || echo "(last stage: $((SECONDS - stage_start)) s; total $SECONDS s)"' EXIT

stage "native build and unit, tool and end-to-end tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
(cd build && ctest --output-on-failure -j "$JOBS")

stage "packages: build (amd64, armhf), lintian, install and use as an integrator, purge"
bash scripts/test-packages.sh

stage "soak: fins-host for 60 s against two CP1L-like simulators, every check in one table"
bash scripts/soak.sh 1

stage "32-bit ARM: cross build, unit tests under qemu-arm"
bash scripts/test-armhf.sh

stage "benchmarks: build and a short smoke run (timings not judged)"
bash bench/run.sh --smoke build

stage "sanitizers: the whole suite under ASan+UBSan, then under TSan"
bash scripts/test-sanitizers.sh

stage "fuzzing: every target for about a minute (clang, ASan+UBSan)"
bash scripts/fuzz.sh --short
