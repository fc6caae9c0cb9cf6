#!/bin/sh
# Every step a screening run waits for after the landscape, before and after, in one run:
#   NARO.x --path --print-act on 5-7 M point landscapes   (naro_speed.sh: builds the earlier NARO.x itself)
#   kelmar.x --gh and --fft on 5.3 M point landscapes     (analysis_speed.sh: needs the earlier kelmar.x)
#   kMC hops per CPU second on the garnet supergraph      (kmc_speed.sh: compiles the earlier kMC sources)
# CPU, wall and peak memory come from /usr/bin/time -v; the machine load is printed first, since a
# shared machine stretches wall times. Run from a Release build directory:
#   sh ../bench/speed.sh BEFORE_REVISION [BEFORE/kelmar.x]
# Without an earlier kelmar.x the analysis rows show this build only.
set -e
here=$(cd "$(dirname "$0")" && pwd)
rev=${1:?give the git revision to compare with, e.g. 5930661}
before_kelmar=${2:-}
uptime | sed 's/^/load: /'
echo "== NARO.x"
NARO_BEFORE_REV=$rev sh "$here/naro_speed.sh"
echo "== kelmar.x --gh and --fft"
bash "$here/analysis_speed.sh" $before_kelmar
echo "== kMC"
sh "$here/kmc_speed.sh" "$rev"
