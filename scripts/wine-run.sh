#!/usr/bin/env bash
# Runs a Windows exe under Wine on the bench of a build tree (ctest's cross-compiling emulator).
#   wine-run.sh BENCHDIR program.exe [args...]
set -euo pipefail
bench=$1; shift
# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench-env.sh" "$bench"
exec wine "$@"
