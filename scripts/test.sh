#!/usr/bin/env bash
# The test command: installs what is missing, builds, brings up the bench (Wine prefix,
# PulseAudio "turntable", Xvfb) and runs every test exe under Wine through ctest.
# Extra arguments go to ctest (for example -R engine).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
"$root/scripts/bench.sh" up "$bench"
trap '"$root/scripts/bench.sh" down "$bench"' EXIT
ctest --test-dir "$GROOVAL_BUILD" --output-on-failure --timeout 1200 "$@"
