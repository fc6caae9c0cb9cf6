#!/bin/sh
# Times NARO.x --path --print-act on two large landscapes made by kelmar.x --gen-cube from
# repository structures: LiFePO4 (Pnma) at 0.04 A (168 x 120 x 264 = 5.3 M points) and the
# NASICON ldx (R-3c, hexagonal axes, searched point by point) at 0.065 A (144 x 144 x 336 =
# 7.0 M points). Prints CPU time, wall time and peak memory from /usr/bin/time -v, the machine
# load, and checks that one and two threads (KELMAR_THREADS) give byte-identical result files.
# Run from the build directory (a Release build):  sh ../bench/naro_speed.sh
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
uptime
for case in "LiFePO4 $src/tests/data/samples/LiFePO4.cif 0.04" "ldx $src/tests/data/naro-path/ldx.cif 0.065"; do
    set -- $case
    mkdir -p "$work/$1"
    cp "$2" "$work/$1/$1.cif"
    (cd "$work/$1" && "$OLDPWD/kelmar/kelmar.x" --gen-cube "$1.cif" Li 1 -1 "$3" > /dev/null)
    sed -n 4,6p "$work/$1/$1.cube" | awk -v n="$1" '{g = g " " $1} END {print n, "grid" g}'
    for threads in 1 2; do
        mkdir -p "$work/$1/t$threads"
        (cd "$work/$1/t$threads" && KELMAR_THREADS=$threads /usr/bin/time -v "$OLDPWD/naro/NARO.x" \
            --cif "../$1.cif" Li1+ --cube "../$1.cube" --path --print-act > out.txt 2> time.txt)
        grep -E "Elapsed|Maximum resident|User time|System time" "$work/$1/t$threads/time.txt" |
            sed "s/^/$1 threads=$threads: /"
    done
    for f in out.txt NARO_events.txt NARO_rp.csv; do
        cmp -s "$work/$1/t1/$f" "$work/$1/t2/$f" && echo "$1 $f: identical for 1 and 2 threads" ||
            echo "$1 $f: DIFFERS between 1 and 2 threads"
    done
    grep "activation energy" "$work/$1/t1/out.txt" | sed "s/^/$1 /"
done
