#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time.
#
#   tools/run-fuzzers.sh [BUILD_DIR] [SECONDS_PER_FUZZER] [FUZZER_NAME...]
#
# BUILD_DIR defaults to build-fuzz in the source tree (a relative path is taken from the current
# folder); SECONDS_PER_FUZZER defaults to 60. Without names every fuzzer in <build>/fuzz runs.
# The build uses clang with MORRA_LUMEN_FUZZ=ON, no window and no tests. Each fuzzer starts from its
# seed corpus tests/fuzz/corpus/<name> (read only) and keeps what it learns in
# <build>/fuzz-corpus/<name>; tests/fuzz/<name>.dict is used when present. A crash or a mismatch
# leaves its input in <build>/fuzz-artifacts and makes the script fail.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))

if [[ ! $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [BUILD_DIR] [SECONDS_PER_FUZZER] [FUZZER_NAME...]" >&2
  exit 2
fi
mkdir -p "$build"
build=$(cd "$build" && pwd)

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORRA_LUMEN_FUZZ=ON -DMORRA_LUMEN_BUILD_UI=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target fuzzers

if (($# > 0)); then
  fuzzers=("$@")
else
  fuzzers=()
  for executable in "$build"/fuzz/*; do
    [[ -f $executable && -x $executable ]] && fuzzers+=("$(basename "$executable")")
  done
fi
if ((${#fuzzers[@]} == 0)); then
  echo "no fuzzers were built" >&2
  exit 1
fi

mkdir -p "$build/fuzz-artifacts"
status=0
for name in "${fuzzers[@]}"; do
  corpus=$build/fuzz-corpus/$name
  mkdir -p "$corpus"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/fuzz-artifacts/$name-")
  [[ -f $root/tests/fuzz/$name.dict ]] && options+=(-dict="$root/tests/fuzz/$name.dict")
  seeds=()
  [[ -d $root/tests/fuzz/corpus/$name ]] && seeds+=("$root/tests/fuzz/corpus/$name")
  echo "== $name: $seconds s"
  if ! "$build/fuzz/$name" "${options[@]}" "$corpus" "${seeds[@]}"; then
    echo "== $name FAILED; inputs in $build/fuzz-artifacts" >&2
    status=1
  fi
done
exit $status
