#!/bin/bash
# The landscape analysis of kelmar.x timed with /usr/bin/time -v (CPU, wall, peak memory), for a
# build before a change and the build after it, in one run:
#   --gh   on the Li10GeP2S12 landscape at 0.1 A drawn 2 x 2 x 1 (192 x 192 x 144 points, 5.3 M)
#   --fft  on the synthetic 192^3 landscape of bench_topology
# and a check that both builds print the same network and write the same --gh files. Run from the
# build directory after
#   cmake --build . --target kelmar.x bench_topology
# as   bash ../bench/analysis_speed.sh [BEFORE/kelmar.x]   (without it only this build is timed).
# Needs Debian's python3 with gemmi and numpy (bench/gh_supercell.py).
set -e
here=$(cd "$(dirname "$0")" && pwd)
after=$(pwd)/kelmar/kelmar.x
before=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
uptime | sed 's/^/load: /'
cp "$here/../tests/data/samples/Li10GeP2S12.cif" "$work/lgps.cif"
(cd "$work" && "$after" --gen-cube lgps.cif Li 1 > /dev/null)
/usr/bin/python3 "$here/gh_supercell.py" "$work/lgps.cif" "$work/lgps.cube" 2 2 1 "$work/super"
./bench/bench_topology "$work/syn.cube" 192 > /dev/null

timed() {  # label binary args...
    label=$1
    bin=$2
    shift 2
    (cd "$work" && /usr/bin/time -v "$bin" "$@" > "$work/out.$label.txt" 2> "$work/time.txt") || true
    awk -v l="$label" -F': ' '/User time/{u=$2} /System time/{s=$2} /Elapsed/{w=$2} /Maximum resident/{m=$2}
        END {printf "%-22s CPU %6.2f s  wall %8s  peak %7.0f MB\n", l, u + s, w, m / 1024}' "$work/time.txt"
}
for bin in "$before" "$after"; do
    [ -n "$bin" ] || continue
    tag=$([ "$bin" = "$after" ] && echo after || echo before)
    timed "gh.$tag" "$bin" --gh super.cif super.cube Li 1
    mkdir -p "$work/files.$tag"
    mv "$work"/super.cif.gh.* "$work/files.$tag/" 2>/dev/null || true
    cp "$work/out.gh.$tag.txt" "$work/files.$tag/console.txt"
    timed "fft.$tag" "$bin" --fft syn.cube -0.1 t "syn.$tag"
done
grep "KELMAR_GRAPH_NETWORK: e_" "$work/out.gh.after.txt"
if [ -n "$before" ]; then
    if diff <(grep "KELMAR_GRAPH_NETWORK: e_" "$work/out.gh.before.txt") \
            <(grep "KELMAR_GRAPH_NETWORK: e_" "$work/out.gh.after.txt") > /dev/null 2>&1; then
        echo "--gh network lines: the same before and after"
    else
        echo "--gh network lines differ (before, after):"
        grep "KELMAR_GRAPH_NETWORK: e_" "$work/out.gh.before.txt"
    fi
    if diff -r "$work/files.before" "$work/files.after" > /dev/null 2>&1; then
        echo "--gh console output and files: byte-identical before and after"
    else
        echo "--gh console output or files differ:"
        diff -rq "$work/files.before" "$work/files.after" || true
    fi
fi
grep "found" "$work"/out.fft.*.txt | sed "s|$work/||"
