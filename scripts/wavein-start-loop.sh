#!/usr/bin/env bash
# Starts waveIn capture in COUNT fresh processes, one after the other, and counts how many got
# no block, by what they report (see tests/capture/wave_in_start_probe.cpp).
#
#   scripts/wavein-start-loop.sh [COUNT [capture|raw]]    defaults: 200 capture
#
# Uses the bench of ${GROOVAL_BUILD:-<repo>/build}, which must be built.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
count=${1:-200}
mode=${2:-capture}
bench=$GROOVAL_BUILD/bench
exe=$GROOVAL_BUILD/tests/capture/wave_in_start_probe.exe

"$root/scripts/bench.sh" up "$bench"
trap '"$root/scripts/bench.sh" down "$bench"' EXIT
# shellcheck disable=SC1091
source "$bench/env"

declare -A outcomes
for _ in $(seq "$count"); do
  status=0
  line=$(wine "$exe" "$mode" 2>&1 | tr -d '\r' | tail -1) || status=$?
  line="${line:-no output} (exit $status)"
  outcomes[$line]=$(( ${outcomes[$line]:-0} + 1 ))
done
echo "wavein-start-loop: $count fresh processes ($mode)"
for line in "${!outcomes[@]}"; do printf '%6d  %s\n' "${outcomes[$line]}" "$line"; done | sort -rn
