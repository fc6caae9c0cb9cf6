#!/bin/sh
# Hops per CPU second of the kinetic Monte Carlo engine, before and after, in one run: the kMC
# sources (kelmar/kmc*) and bench_kmc.cpp of a git revision and of the work tree are each compiled
# with -O3 (as the Release build) and linked against the rest of the build's kelmar_core, then
# both time the same run on the garnet j5g (2x2x2 supergraph, 600 K, default 5 A repulsion
# cutoff) and without repulsion.
# Run from the build directory (it needs kelmar/libkelmar_core.a and kelmar/kelmar.x):
#   sh ../bench/kmc_speed.sh [revision, default HEAD~1] [hops, default 1000000]
set -e
rev=${1:-HEAD~1}
hops=${2:-1000000}
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# the landscape the engine runs on (0.25 A grid, screening factor 0.75)
cp "$src/tests/data/electrolytes/j5g.cif" "$work/"
(cd "$work" && "$build/kelmar/kelmar.x" --gen-cube j5g.cif Li 1 0.75 0.25 > gen.txt)

flags="-std=c++20 -O3 -DNDEBUG -DKELMAR_DATA_DIR=\"$build/kelmar\""
libs="$build/kelmar/libkelmar_core.a $build/cifio/libcifio.a -lfftw3_threads -lfftw3 -lsymspg -lpthread"
build_bench() {  # $1: directory holding kelmar/ and bench/ sources, $2: output binary
    # the batch of exponentials is built as the project builds it (vector exp from -ffast-math)
    objs=""
    for f in "$1"/kelmar/kmc*.cpp "$1/bench/bench_kmc.cpp"; do
        extra=""
        case "$f" in */kmc-exp.cpp) extra="-O3 -ffast-math" ;; esac
        o="$1/$(basename "$f" .cpp).o"
        $CXX_BENCH $flags $extra -I"$1/kelmar" -I"$src/kelmar" -I"$src/cifio" -I"$src/workshare" -I"$src/bench" \
            -c "$f" -o "$o"
        objs="$objs $o"
    done
    $CXX_BENCH $objs $libs -o "$2"
}
CXX_BENCH=${CXX:-g++}
mkdir -p "$work/before/kelmar" "$work/before/bench" "$work/after/kelmar" "$work/after/bench"
for f in $(git -C "$src" ls-tree --name-only "$rev" kelmar/ | grep '^kelmar/kmc'); do
    git -C "$src" show "$rev:$f" > "$work/before/$f"
done
git -C "$src" show "$rev:bench/bench_kmc.cpp" > "$work/before/bench/bench_kmc.cpp"
cp "$src"/kelmar/kmc* "$work/after/kelmar/"
cp "$src/bench/bench_kmc.cpp" "$work/after/bench/"
build_bench "$work/before" "$work/bench_before"
build_bench "$work/after" "$work/bench_after"

echo "load: $(uptime)"
for cutoff in 5 0; do
    for side in before after; do
        printf '%s (%s), cutoff %s A: ' "$side" "$([ $side = before ] && echo "$rev" || echo "work tree")" "$cutoff"
        (cd "$work" && "./bench_$side" j5g.cif j5g.cube "$hops" "$cutoff" 600 | tail -1)
    done
done
