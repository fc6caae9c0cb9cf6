#!/usr/bin/env bash
# Runs both programs over every CIF of some directories and keeps what they print and write,
# so that two builds can be compared file by file (diff -r OUT_A OUT_B).
#
#   tools/sweep_structures.sh BUILD_DIR OUT_DIR CIF_DIR [CIF_DIR ...]
#
# Each CIF gets OUT_DIR/<dir>-<name>/ with one <step>.out/.err/.rc per step and the files the
# step wrote. Draws are repeated with KELMAR_SEED=1; grids are coarse (0.3 A, 0.8 A for the
# GII and total-energy landscapes, which stop after a minute) so a sweep of fifty structures takes a few minutes.
set -u
build=$(cd "$1" && pwd); out=$2; shift 2
kelmar=$build/kelmar/kelmar.x
naro=$build/naro/NARO.x
mkdir -p "$out"; out=$(cd "$out" && pwd)
export KELMAR_SEED=1

step() {  # step NAME timeout command...
    local name=$1 limit=$2; shift 2
    timeout "$limit" "$@" >"$name.out" 2>"$name.err"
    echo $? >"$name.rc"
}

for dir in "$@"; do
    for cif in "$dir"/*.cif; do
        [ -e "$cif" ] || continue
        id=$(basename "$dir")-$(basename "$cif" .cif)
        work=$out/$id
        rm -rf "$work"; mkdir -p "$work"
        cp "$cif" "$work/x.cif"
        (
            cd "$work" || exit 1
            step cal-bv 60 "$kelmar" --cal-bv x.cif
            step cal-gii 60 "$kelmar" --cal-gii x.cif
            step cal-sym 60 "$kelmar" --cal-sym x.cif
            step cal-charge 60 "$kelmar" --cal-charge x.cif
            step cal-cn-gui 60 "$kelmar" --cal-cn-gui x.cif
            step print-ppt 120 "$kelmar" --print-ppt x.cif
            step gen-cif 60 "$kelmar" --gen-cif x.cif prep.cif
            step gen-cif-p1 60 "$kelmar" --gen-cif-p1 x.cif p1.cif
            step gen-gin-lib 120 "$kelmar" --gen-gin-lib x.cif
            step gen-cube 300 "$kelmar" --gen-cube x.cif Li 1 -1 0.3
            for model in gii tot; do
                mkdir -p "$model"; cp x.cif "$model/x.cif"
                (cd "$model" && step gen-cube-$model 60 "$kelmar" --gen-cube-$model x.cif Li 1 -1 0.8)
            done
            cube=x.cube; cell=x.cif
            if [ -e x_assigned.cube ]; then cube=x_assigned.cube; cell=x_assigned.cif; fi
            if [ -e "$cube" ]; then
                step fft 120 "$kelmar" --fft "$cube"
                step fp-map 120 "$kelmar" --fp-map "$cube"
                step gh 120 "$kelmar" --gh "$cell" "$cube" Li 1
                states=$cell
                [ -e prep.cif ] && [ "$cell" = x.cif ] && states=prep.cif
                step naro 300 "$naro" --cif "$states" Li1+ --cube "$cube" --path --print-act --summary
            fi
        )
    done
done
