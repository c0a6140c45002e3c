#!/usr/bin/env bash
# Job transfer against curl on the same local nginx, side by side:
#   1. one 1 GiB job: `quillet-transfer fetch` vs `curl -o` of the file plus
#      its status GET; goal: wall time <= 1.0 x curl, peak RSS <= 32 MiB;
#   2. 2,000 jobs of 16 KiB: `quillet-transfer fetch` vs one curl process
#      (`curl -K`, keep-alive) fetching the index, the files and the status
#      URLs; goal: <= 1.2 x curl.
# Medians of alternating pairs.   bench/transfer/run.sh [PAIRS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
pairs=${1:-5}
. "$root/scripts/deps.sh"
. "$root/bench/nginx.sh"
quillet_install_deps nginx-light curl

build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quillet-transfer >/dev/null
tool="$build/src/quillet-transfer"

bench_workdir

bench_nginx_start
mkdir -p "$www/files/small"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$www/files/big.wav"
python3 - "$www" "$base" <<'PY'
import os, sys
www, base = sys.argv[1], sys.argv[2]
def job(i, path):
    return ('<job job_id="%d" job_name="Job %d" open_time="2026-12-01 08:00:00" '
            'department_name="" dictator="" reference="" demographic_1="" demographic_2="" '
            'demographic_3="" path="%s" priority="1" dictator_first_name="" '
            'dictator_last_name=""/>\n' % (i, i, base + path))
with open(os.path.join(www, "big.xml"), "w") as f:
    f.write("<jobs>\n" + job(1, "files/big.wav") + "</jobs>\n")
with open(os.path.join(www, "small.xml"), "w") as f:
    f.write("<jobs>\n")
    for i in range(1, 2001):
        f.write(job(i, "files/small/%d.wav" % i))
        with open(os.path.join(www, "files", "small", "%d.wav" % i), "wb") as data:
            data.write(os.urandom(16 * 1024))
    f.write("</jobs>\n")
PY

bench_profile big "$work/out/tool"
bench_profile small "$work/out/tool"

curl_small="$work/curl-small.cfg"
{
    echo "url = \"${base}job_index.asp?SessionID=small&LG=bench&PW=bench\""
    echo "output = \"$work/out/curl/index.xml\""
    for i in $(seq 1 2000); do
        echo "url = \"${base}files/small/$i.wav\""
        echo "output = \"$work/out/curl/Job $i.wav\""
    done
    for i in $(seq 1 2000); do
        echo "url = \"${base}job_status_update.asp?ID=$i&LG=bench&PW=bench\""
        echo "output = \"/dev/null\""
    done
} >"$curl_small"

# seconds and peak RSS (KiB) of one command; its output folder starts empty.
measure() {
    rm -rf "$work/out" && mkdir -p "$work/out/curl"
    sync
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
        cat "$work/stderr.txt" >&2
        return 1
    }
    cat "$work/time.txt"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_pairs() { # label tool-command... -- curl-command...
    local label=$1
    shift
    local toolcmd=() curlcmd=()
    while [ "$1" != "--" ]; do toolcmd+=("$1"); shift; done
    shift
    curlcmd=("$@")
    : >"$work/t.txt"; : >"$work/c.txt"; : >"$work/m.txt"
    for _ in $(seq "$pairs"); do
        read -r t m < <(measure "${toolcmd[@]}")
        echo "$t" >>"$work/t.txt"; echo "$m" >>"$work/m.txt"
        read -r c _ < <(measure "${curlcmd[@]}")
        echo "$c" >>"$work/c.txt"
    done
    local tm cm mm
    tm=$(median <"$work/t.txt"); cm=$(median <"$work/c.txt"); mm=$(sort -n "$work/m.txt" | tail -1)
    awk -v l="$label" -v t="$tm" -v c="$cm" -v m="$mm" 'BEGIN {
        printf "%-26s quillet %6.2f s   curl %6.2f s   ratio %.2f   peak RSS %.1f MiB\n", l, t, c, t / c, m / 1024 }'
}

echo "nginx on 127.0.0.1:$port, $pairs alternating pairs, medians"
run_pairs "1 GiB job" "$tool" fetch "$work/big.profile" -- \
    sh -c "curl -sf -o '$work/out/curl/big.wav' '${base}files/big.wav' && curl -sf -o /dev/null '${base}job_status_update.asp?ID=1&LG=bench&PW=bench'"
# quillet-transfer puts the files on the disk before it confirms them; the
# same for curl, for a like-for-like figure.
run_pairs "1 GiB job, curl + sync" "$tool" fetch "$work/big.profile" -- \
    sh -c "curl -sf -o '$work/out/curl/big.wav' '${base}files/big.wav' && sync -f '$work/out/curl/big.wav' && curl -sf -o /dev/null '${base}job_status_update.asp?ID=1&LG=bench&PW=bench'"
run_pairs "2,000 jobs of 16 KiB" "$tool" fetch "$work/small.profile" -- \
    curl -sf -K "$curl_small"
