#!/usr/bin/env bash
# Builds a libFuzzer target with clang and runs it.
#   fuzz/run.sh [SECONDS] [TARGET]   (default 600 s; TARGET jobindex (default)
#                                     or profile)
# QUILLET_FUZZ_BUILD names the build folder (default build-fuzz).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
target=${2:-jobindex}
if [ ! -d "$root/fuzz/corpus/$target" ]; then
    echo "fuzz/run.sh: unknown target $target (jobindex, profile)" >&2
    exit 2
fi
. "$root/scripts/deps.sh"
quillet_install_deps clang libclang-rt-14-dev
build=${QUILLET_FUZZ_BUILD:-$root/build-fuzz}
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLET_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "fuzz_$target"
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp "$root"/fuzz/corpus/"$target"/* "$corpus"/
cd "$build"
./fuzz/fuzz_"$target" -max_total_time="$seconds" -max_len=16384 \
    -print_final_stats=1 "$corpus"
