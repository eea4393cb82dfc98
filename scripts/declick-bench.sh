#!/usr/bin/env bash
# Benchmark of the declicker of grooval-split --declick, under Wine on one core:
#  - real music (scripts/real-sides.sh, given its folder): each side clean and with 300 clicks
#    (scripts/inject-clicks.py): repairs per minute on the music of the clean side (those on
#    the side's own crackle apart) and where they sit, the clicks moved closer to the clean
#    side, those made worse by more than 1 dB, the whole side's error against the unrepaired;
#  - a synthesized side (tests/dsp/declick_signal.h) with clicks of every shape: the share
#    reduced by 20 dB or more, repairs on the same side clean.
# Each run has its own seed for the clicks; the exit code is 0 when every run met the targets.
# With DECLICK_ORACLE=1 in the environment the repair is handed the true clicks instead of the
# detector's (DECLICK_ORACLE_ORDER and _CONTEXT vary its model): the repair's own limits.
#
#   scripts/declick-bench.sh [RUNS [REAL_DIR [LEVEL]]]   (default 3, no real sides, 5)
#
# Built, not run by ctest. The bench (Wine prefix) of the build folder is brought up and down.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

runs=${1:-3}
real=${2:-}
level=${3:-5}
exe=$GROOVAL_BUILD/tests/dsp/dsp_declick_bench.exe

bench_up --build --quiet

status=0
for seed in $(seq 1 "$runs"); do
  echo "== run $seed of $runs"
  wine "$exe" 1200 500 "$seed" "$level" || status=1
  [ -n "$real" ] || continue
  for side in "$real"/side-{a,b,g}.wav; do  # the sides of real-sides.sh
    clicked=$bench/declick-$(basename "$side" .wav)-clicks.wav
    /usr/bin/python3 "$root/scripts/inject-clicks.py" "$side" "$clicked" 300 "$seed"
    win() { local path; path=$(readlink -f "$1"); echo "Z:${path//\//\\}"; }
    wine "$exe" --real "$(win "$side")" "$(win "$clicked")" \
      "$(win "${clicked%.wav}.tsv")" "$level" || status=1
  done
done
exit $status
