#!/bin/sh
# Times NARO.x --path --print-act on three large landscapes made by kelmar.x --gen-cube from
# repository structures: LiFePO4 (P2_1/c) at 0.04 A (168 x 120 x 264 = 5.3 M points), the same
# written out in P 1 (every grid point searched), and the NASICON ldx (R-3c, hexagonal axes,
# searched point by point) at 0.065 A (144 x 144 x 336 = 7.0 M points). Runs the NARO.x of revision 7269cbb (before the threaded cube reader and
# stationary-point search; built here from git, or given as NARO_BEFORE=/path/to/NARO.x) on one
# thread and this build's NARO.x on one and two threads (KELMAR_THREADS). Prints CPU time, wall
# time and peak memory from /usr/bin/time -v and the machine load, checks that one and two threads
# write byte-identical output and result files, and says where the output differs from before
# (the saddle test that orders equal energies by grid index finds passes the old one missed).
# Run from the build directory (a Release build):  sh ../bench/naro_speed.sh
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
before=${NARO_BEFORE:-}
if [ -z "$before" ]; then
    mkdir -p "$work/before-src"
    git -C "$src" archive "${NARO_BEFORE_REV:-7269cbb}" | tar -x -C "$work/before-src"
    cmake -S "$work/before-src" -B "$work/before-build" -DCMAKE_BUILD_TYPE=Release > /dev/null
    cmake --build "$work/before-build" -j2 --target NARO.x > /dev/null
    before="$work/before-build/naro/NARO.x"
fi
uptime
# LiFePO4 written out in P 1 (every atom of the cell, no symmetry): the analyser then searches
# every grid point, as for a structure drawn in a supercell.
/usr/bin/python3 "$src/bench/naro_p1_cif.py" "$src/tests/data/samples/LiFePO4.cif" "$work/LiFePO4_P1.cif"
for case in "LiFePO4 $src/tests/data/samples/LiFePO4.cif 0.04" "LiFePO4_P1 $work/LiFePO4_P1.cif 0.04" \
            "ldx $src/tests/data/naro-path/ldx.cif 0.065"; do
    set -- $case
    mkdir -p "$work/$1"
    cp "$2" "$work/$1/$1.cif"
    (cd "$work/$1" && "$build/kelmar/kelmar.x" --gen-cube "$1.cif" Li 1 -1 "$3" > /dev/null)
    sed -n 4,6p "$work/$1/$1.cube" | awk -v n="$1" '{g = g " " $1} END {print n, "grid" g}'
    for run in "before 1 $before" "after 1 $build/naro/NARO.x" "after 2 $build/naro/NARO.x"; do
        set -- $1 $run
        out="$work/$1/$2-t$3"
        mkdir -p "$out"
        (cd "$out" && KELMAR_THREADS=$3 /usr/bin/time -v "$4" \
            --cif "../$1.cif" Li1+ --cube "../$1.cube" --path --print-act > out.txt 2> ../time.txt)
        grep -E "Elapsed|Maximum resident|User time|System time" "$work/$1/time.txt" |
            sed "s/^[[:space:]]*/$1 $2 threads=$3: /"
        set -- $1
    done
    for f in out.txt NARO_events.txt NARO_rp.csv NARO_error.txt; do
        cmp -s "$work/$1/after-t1/$f" "$work/$1/after-t2/$f" && echo "$1 $f: identical for 1 and 2 threads" ||
            echo "$1 $f: DIFFERS between 1 and 2 threads"
        cmp -s "$work/$1/before-t1/$f" "$work/$1/after-t1/$f" && echo "$1 $f: identical to before" ||
            echo "$1 $f: differs from before"
    done
    grep "activation energy" "$work/$1/before-t1/out.txt" | sed "s/^/$1 before: /"
    grep "activation energy" "$work/$1/after-t2/out.txt" | sed "s/^/$1 after: /"
done
