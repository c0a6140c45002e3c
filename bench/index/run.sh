#!/usr/bin/env bash
# Reads a 100,000-job index with `quillet-transfer list --json` and, in the
# same run, parses it with Python's xml.etree as the peer. Goal: the tool in
# at most 1.0 s and 300 MiB. Then indexes with one token of 63 MiB each, same
# peer; goal: the tool in at most 2.0 s for each.
#   bench/index/run.sh [JOBS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${1:-100000}
build="$root/build-bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quillet-transfer >/dev/null

python3 "$root/bench/index/make_index.py" "$work/index.xml" "$jobs"
cat > "$work/profile.xml" <<XML
<profile>
 <first_name>Bench</first_name>
 <last_name>Typist</last_name>
 <department>Typing</department>
 <guid>G</guid>
 <login>bench</login>
 <password>secret</password>
 <sunday>False</sunday>
 <monday>True</monday>
 <tuesday>True</tuesday>
 <wednesday>True</wednesday>
 <thursday>True</thursday>
 <friday>True</friday>
 <saturday>False</saturday>
 <download_folder>$work/Jobs</download_folder>
 <pollinterval>5</pollinterval>
 <base_url>http://127.0.0.1:9/remote_tools/</base_url>
 <download_rule_1>Demographic 1</download_rule_1>
 <download_rule_2>\\</download_rule_2>
 <download_rule_3>Job Name</download_rule_3>
 <download_rule_4>_</download_rule_4>
 <download_rule_5>Open Date/Time (yyyymmdd_hhnnss)</download_rule_5>
</profile>
XML

measure() {
    local label=$1
    shift
    /usr/bin/time -v "$@" >/dev/null 2>"$work/time.txt" || {
        cat "$work/time.txt"
        exit 1
    }
    local wall rss
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    # m:ss.cc to seconds
    local seconds
    seconds=$(echo "$wall" | awk -F: '{ if (NF == 3) print $1*3600+$2*60+$3; else print $1*60+$2 }')
    printf '%-22s %8.2f s %8.1f MiB\n' "$label" "$seconds" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
    echo "$seconds $rss" >"$work/$label.result"
}

echo "index: $jobs jobs, $(du -h "$work/index.xml" | cut -f1)"
measure quillet-transfer "$build/src/quillet-transfer" list "$work/profile.xml" --index "$work/index.xml" --json
measure python-etree python3 "$root/bench/index/parse_peer.py" "$work/index.xml"

read -r tool_s tool_kb <"$work/quillet-transfer.result"
read -r peer_s peer_kb <"$work/python-etree.result"
awk -v a="$tool_s" -v b="$peer_s" 'BEGIN { printf "ratio time (tool / peer): %.2f\n", a / b }'
awk -v a="$tool_kb" -v b="$peer_kb" 'BEGIN { printf "ratio memory (tool / peer): %.2f\n", a / b }'
ok=$(awk -v s="$tool_s" -v k="$tool_kb" 'BEGIN { print (s <= 1.0 && k <= 300 * 1024) ? 1 : 0 }')
[ "$ok" = 1 ] && echo "goal met (<= 1.0 s, <= 300 MiB)" || echo "goal NOT met (<= 1.0 s, <= 300 MiB)"

# One token of 63 MiB (comment, CDATA section, processing instruction, text,
# attribute value) beside 10 jobs: the reading time stays linear in the size.
# Goal: the tool in at most 2.0 s for each.
for kind in comment cdata pi text attribute; do
    python3 "$root/bench/index/make_index.py" "$work/$kind.xml" 10 "$kind"
    echo
    echo "index: one $kind of 63 MiB and 10 jobs, $(du -h "$work/$kind.xml" | cut -f1)"
    measure "quillet-$kind" "$build/src/quillet-transfer" list "$work/profile.xml" --index "$work/$kind.xml" --json
    measure "python-$kind" python3 "$root/bench/index/parse_peer.py" "$work/$kind.xml"
    rm -f "$work/$kind.xml"
    read -r tool_s tool_kb <"$work/quillet-$kind.result"
    read -r peer_s peer_kb <"$work/python-$kind.result"
    awk -v a="$tool_s" -v b="$peer_s" 'BEGIN { printf "ratio time (tool / peer): %.2f\n", a / b }'
    awk -v a="$tool_kb" -v b="$peer_kb" 'BEGIN { printf "ratio memory (tool / peer): %.2f\n", a / b }'
    awk -v s="$tool_s" 'BEGIN { print (s <= 2.0) ? "goal met (<= 2.0 s)" : "goal NOT met (<= 2.0 s)" }'
done
