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
echo "== kelmar.x --print-sys"
"$kelmar" --print-sys
