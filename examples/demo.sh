#!/usr/bin/env bash
# The main job on a bundled example, run from a scratch directory as a user would.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
kelmar="$root/$build/kelmar/kelmar.x"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/LiFePO4.cif" "$work/"
cd "$work"

echo "== kelmar.x --version"
"$kelmar" --version
echo "== kelmar.x --print-sys   (where the data files were found)"
"$kelmar" --print-sys
echo "== kelmar.x --cal-bv LiFePO4.cif"
"$kelmar" --cal-bv LiFePO4.cif
echo "== kelmar.x --gen-cube LiFePO4.cif Li 1   (site-energy landscape of Li+)"
"$kelmar" --gen-cube LiFePO4.cif Li 1
echo "== kelmar.x --print-cube LiFePO4.cube"
"$kelmar" --print-cube LiFePO4.cube
echo "== NARO.x --cif LiFePO4.cif Li1+ --cube LiFePO4.cube --path --print-act"
"$root/$build/naro/NARO.x" --cif LiFePO4.cif Li1+ --cube LiFePO4.cube --path --print-act
echo "== NARO_rp.csv (reaction pathway: reaction coordinate, energy, stationary point), first lines"
head -n 12 NARO_rp.csv
