#!/usr/bin/env bash
# The settings fuzz at length: LoadSettings against RUNS random registry states from SEED
# (CI runs 1000 from seed 16 as part of settings_tests).
#
#   scripts/settings-fuzz.sh [RUNS [SEED]]    defaults: 10000 16
#
# Uses the bench of ${GROOVAL_BUILD:-<repo>/build}; builds first.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

bench_up --build
GROOVAL_SETTINGS_FUZZ_RUNS=${1:-10000} GROOVAL_SETTINGS_FUZZ_SEED=${2:-16} \
  wine "$GROOVAL_BUILD/tests/settings/settings_tests.exe" --gtest_filter='*RandomRegistryStates*'
