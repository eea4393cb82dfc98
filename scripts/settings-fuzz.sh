#!/usr/bin/env bash
# The settings fuzz at length: LoadSettings against RUNS random registry states from SEED
# (CI runs 1000 from seed 16 as part of settings_tests).
#
#   scripts/settings-fuzz.sh [RUNS [SEED]]    defaults: 10000 16
#
# Uses the bench of ${GROOVAL_BUILD:-<repo>/build}; builds first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench

"$root/scripts/build.sh"
"$root/scripts/bench.sh" up "$bench"
trap '"$root/scripts/bench.sh" down "$bench"' EXIT
GROOVAL_SETTINGS_FUZZ_RUNS=${1:-10000} GROOVAL_SETTINGS_FUZZ_SEED=${2:-16} \
  "$root/scripts/wine-run.sh" "$bench" "$GROOVAL_BUILD/tests/settings/settings_tests.exe" \
  --gtest_filter='*RandomRegistryStates*'
