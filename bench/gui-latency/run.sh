#!/usr/bin/env bash
# The main window's event loop while it receives one 1 GiB job from a local
# nginx (job index, file, the flush to disk, status update), offscreen: a
# 5 ms timer on the GUI thread, whose longest gap between ticks less 5 ms is
# the stall. The last line printed is "longest stall: N ms".
#   bench/gui-latency/run.sh
# QUILLET_BUILD names a configured Release build folder to use instead of
# build-bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/deps.sh"
. "$root/bench/nginx.sh"
quillet_install_deps nginx-light curl

if [ -n "${QUILLET_BUILD:-}" ]; then
    build=$QUILLET_BUILD
    [ -f "$build/CMakeCache.txt" ] || { echo "no configured build in $build" >&2; exit 2; }
    grep -q '^QUILLET_BENCH:BOOL=ON$' "$build/CMakeCache.txt" ||
        cmake -S "$root" -B "$build" -DQUILLET_BENCH=ON >/dev/null
else
    build="$root/build-bench"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF \
        -DQUILLET_BENCH=ON >/dev/null
fi
if ! log=$(cmake --build "$build" -j2 --target quillet-gui-latency 2>&1); then
    printf '%s\n' "$log" >&2
    exit 1
fi
tool="$build/bench/quillet-gui-latency"

size=$((1024 * 1024 * 1024))
# The served file and the received one.
if [ "$(df --output=avail -B1 /var/tmp | tail -1)" -lt $((2 * size + 64 * 1024 * 1024)) ]; then
    echo "/var/tmp needs 2 GiB free for the job and its copy" >&2
    exit 1
fi
bench_workdir

bench_nginx_start "$work/logs/access.log"
mkdir -p "$www/files"
head -c "$size" /dev/urandom >"$www/files/big.wav"
cat >"$www/big.xml" <<XML
<jobs>
<job job_id="1" job_name="Job 1" open_time="2026-12-01 08:00:00" department_name="" dictator="" reference="" demographic_1="" demographic_2="" demographic_3="" path="${base}files/big.wav" priority="1" dictator_first_name="" dictator_last_name=""/>
</jobs>
XML
bench_profile big "$work/out"
# The flush before the status update then writes the received file only.
sync

echo "nginx on 127.0.0.1:$port, one job of $((size / 1024 / 1024)) MiB, QT_QPA_PLATFORM=offscreen"
if ! out=$(QT_QPA_PLATFORM=offscreen "$tool" "$work/big.profile" "$size"); then
    [ -z "$out" ] || printf '%s\n' "$out"
    exit 1
fi
if ! grep -q '"GET /remote_tools/job_status_update.asp?ID=1&[^"]*" 200 ' "$work/logs/access.log"; then
    printf '%s\n' "$out"
    echo "the job's status update was not sent" >&2
    exit 1
fi
printf '%s\n' "$out"
