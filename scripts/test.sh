#!/usr/bin/env bash
# The test command: installs what is missing, builds, brings up the bench (Wine prefix,
# PulseAudio "turntable", Xvfb) and runs every test exe under Wine through ctest.
# Extra arguments go to ctest (for example -R engine).
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

"$root/scripts/setup.sh"
bench_up --build
ctest --test-dir "$GROOVAL_BUILD" --output-on-failure --timeout 1200 "$@"
