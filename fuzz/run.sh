#!/usr/bin/env bash
# Builds the libFuzzer target with clang and runs it.
#   fuzz/run.sh [SECONDS]   (default 600)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build="$root/build-fuzz"
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLET_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_jobindex
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp "$root"/fuzz/corpus/jobindex/* "$corpus"/
cd "$build"
./fuzz/fuzz_jobindex -max_total_time="$seconds" -max_len=16384 \
    -print_final_stats=1 "$corpus"
