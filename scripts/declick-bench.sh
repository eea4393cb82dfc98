#!/usr/bin/env bash
# Benchmark of the declicker of grooval-split --declick: a synthesized side of 20 minutes
# (four voices of tones with vibrato, surface noise, record levels) with 500 injected clicks of
# 0.05 to 2 ms, and the same side clean (tests/dsp/declick_signal.h). Each run, with its own
# seed, prints the share of clicks found, the error around repaired clicks below the clicks'
# energy, repairs per minute on the clean side, identity outside repaired spans and the speed
# on one core under Wine, each against its target; the exit code is 0 when every run met them.
#
#   scripts/declick-bench.sh [RUNS [SECONDS [CLICKS [LEVEL]]]]   (default 3 1200 500 5)
#
# Built, not run by ctest. The bench (Wine prefix) of the build folder is brought up and down.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

runs=${1:-3}
seconds=${2:-1200}
clicks=${3:-500}
level=${4:-5}

bench_up --build --quiet

status=0
for seed in $(seq 1 "$runs"); do
  echo "== run $seed of $runs"
  wine "$GROOVAL_BUILD/tests/dsp/dsp_declick_bench.exe" "$seconds" "$clicks" "$seed" \
    "$level" || status=1
done
exit $status
