#!/usr/bin/env bash
# Builds every libFuzzer target (tests/fuzz/fuzz_*.cpp) with clang and runs each one for a bounded
# time. A crash, a sanitizer report or a failed check stops the script with a non-zero status; the
# input that caused it is left in the build folder (crash-*, leak-*, timeout-*).
#
#   tools/run-fuzzers.sh [BUILD_DIR] [SECONDS_PER_TARGET]   (default: build-fuzz 60)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-fuzz}
seconds=${2:-60}
jobs=${JOBS:-2}

cmake -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMORRA_LUMEN_FUZZ=ON -DBUILD_TESTING=OFF -DMORRA_LUMEN_BUILD_UI=OFF

targets=()
for source in tests/fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds} s"
  (cd "$build" && "bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 "fuzz-corpus/$target")
done
