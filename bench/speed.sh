#!/bin/bash
# Every step a screening run waits for after the landscape, before and after, in one run:
#   NARO.x --path --print-act   on the drawn supercell of the electrolyte xut (216 x 216 x 120)
#   kelmar.x --gh               on the same landscape
#   kelmar.x --fft              on the synthetic 192^3 landscape of bench_topology
#   kMC hops per second         garnet j5g, 2 x 2 x 2 supergraph, ion-ion term on (5 A), 600 K
# "Before" is a git revision (default 5930661, the code these steps were first timed on), built
# here from git in Release mode; "after" is this build. CPU, wall time and peak memory come from
# /usr/bin/time -v; the machine load is printed first and last, since a shared machine stretches
# wall times. The script also says whether both print the same percolation energies.
# Run from a Release build directory after
#   cmake --build . --target kelmar.x NARO.x bench_topology bench_kmc
# as   bash ../bench/speed.sh [REVISION] [HOPS, default 1000000]
# (BEFORE_BUILD=/path/to/an/earlier/build skips building the revision.)
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(pwd)
rev=${1:-5930661}
hops=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
before=${BEFORE_BUILD:-}
if [ -z "$before" ]; then
    echo "building $rev (Release) ..."
    mkdir -p "$work/before-src"
    git -C "$src" archive "$rev" | tar -x -C "$work/before-src"
    cmake -S "$work/before-src" -B "$work/before-build" -DCMAKE_BUILD_TYPE=Release > /dev/null
    cmake --build "$work/before-build" -j2 --target kelmar.x NARO.x bench_kmc > /dev/null
    before="$work/before-build"
fi

# the landscapes, made once by this build (xut's shared Li sites are drawn into its supercell with
# a fixed seed, so every run times the same landscape)
mkdir -p "$work/xut" "$work/j5g" "$work/syn"
cp "$src/tests/data/electrolytes/xut.cif" "$work/xut/"
(cd "$work/xut" && KELMAR_SEED=1 "$build/kelmar/kelmar.x" --gen-cube xut.cif Li 1 > /dev/null)
cp "$src/tests/data/electrolytes/j5g.cif" "$work/j5g/"
(cd "$work/j5g" && "$build/kelmar/kelmar.x" --gen-cube j5g.cif Li 1 0.75 0.25 > /dev/null)
"$build/bench/bench_topology" "$work/syn/syn.cube" 192 > /dev/null

echo "load: $(uptime)"
printf '%-34s %-7s %9s %9s %9s\n' step build "wall s" "CPU s" "peak MB"
timed() {  # label side dir binary args...
    label=$1 side=$2 dir=$3 bin=$4
    shift 4
    mkdir -p "$dir/$side"
    (cd "$dir/$side" && /usr/bin/time -v "$bin" "$@" > out.txt 2> time.txt) || true
    awk -v l="$label" -v s="$side" -F': ' '
        /User time/ {u = $2} /System time/ {y = $2} /Maximum resident/ {m = $2}
        /Elapsed/ {n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i]}
        END {printf "%-34s %-7s %9.2f %9.2f %9.0f\n", l, s, w, u + y, m / 1024}' "$dir/$side/time.txt"
}
for side in before after; do
    bin=$([ $side = before ] && echo "$before" || echo "$build")
    timed "NARO.x --path --print-act (xut)" $side "$work/xut/naro" "$bin/naro/NARO.x" \
        --cif ../../xut_assigned.cif Li1+ --cube ../../xut_assigned.cube --path --print-act
done
for side in before after; do
    bin=$([ $side = before ] && echo "$before" || echo "$build")
    timed "kelmar.x --gh (xut)" $side "$work/xut/gh" "$bin/kelmar/kelmar.x" \
        --gh ../../xut_assigned.cif ../../xut_assigned.cube Li 1
done
for side in before after; do
    bin=$([ $side = before ] && echo "$before" || echo "$build")
    timed "kelmar.x --fft (192^3)" $side "$work/syn" "$bin/kelmar/kelmar.x" --fft ../syn.cube -0.1 t syn
done
for side in before after; do
    bin=$([ $side = before ] && echo "$before" || echo "$build")
    timed "kMC j5g 2x2x2, $hops hops" $side "$work/j5g" "$bin/bench/bench_kmc" \
        ../j5g.cif ../j5g.cube "$hops" 5 600
done
echo "load: $(uptime)"

for side in before after; do
    grep "activation energy" "$work/xut/naro/$side/out.txt" | tr '\n' ' ' | sed "s/^/NARO $side: /;s/$/\n/"
    grep "KELMAR_GRAPH_NETWORK: e_[123]D" "$work/xut/gh/$side/out.txt" | cut -d'(' -f1 | tr '\n' ' ' |
        sed "s/^/--gh $side: /;s/$/\n/"
    grep "found" "$work/syn/$side/out.txt" | sed "s/^/--fft $side: /"
    tail -1 "$work/j5g/$side/out.txt" | sed "s/.*run /kMC $side: /"
done
