#!/bin/sh
# Writes the synthetic 192^3 landscape and times --fft and --fp-map on it with /usr/bin/time -v.
# Run from the build directory:  sh ../bench/run_topology.sh [points per axis]
set -e
points=${1:-192}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
./bench/bench_topology "$work/syn.cube" "$points"
ls -l "$work/syn.cube" | awk '{print "cube file", $5, "bytes"}'
for cmd in "--fft" "--fp-map"; do
    /usr/bin/time -v ./kelmar/kelmar.x $cmd "$work/syn.cube" > "$work/out.txt" 2> "$work/time.txt"
    grep -E "Elapsed|Maximum resident|User time|System time" "$work/time.txt" | sed "s/^/kelmar.x $cmd: /"
    grep -E "^Message: (found|KELMAR_FPCUBE)" "$work/out.txt" | sed "s/^/kelmar.x $cmd: /"
done
