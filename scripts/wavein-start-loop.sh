#!/usr/bin/env bash
# Starts waveIn capture in COUNT fresh processes, one after the other, and counts how many got
# no block, by what they report (see tests/capture/wave_in_start_probe.cpp).
#
#   scripts/wavein-start-loop.sh [COUNT [capture|raw]]    defaults: 200 capture
#
# Uses the bench of ${GROOVAL_BUILD:-<repo>/build}, which must be built.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

count=${1:-200}
mode=${2:-capture}
exe=$GROOVAL_BUILD/tests/capture/wave_in_start_probe.exe

bench_up

declare -A outcomes
for _ in $(seq "$count"); do
  status=0
  line=$(wine "$exe" "$mode" 2>&1 | tr -d '\r' | tail -1) || status=$?
  line="${line:-no output} (exit $status)"
  outcomes[$line]=$(( ${outcomes[$line]:-0} + 1 ))
done
echo "wavein-start-loop: $count fresh processes ($mode)"
for line in "${!outcomes[@]}"; do printf '%6d  %s\n' "${outcomes[$line]}" "$line"; done | sort -rn
