#!/usr/bin/env bash
# Runs a Windows exe under Wine on the bench of a build tree (ctest's cross-compiling emulator).
#   wine-run.sh BENCHDIR program.exe [args...]
set -euo pipefail
bench=$1; shift
if [ ! -f "$bench/env" ]; then
  echo "wine-run: no bench in $bench; start it with scripts/bench.sh up $bench" >&2
  exit 2
fi
# shellcheck disable=SC1091
source "$bench/env"
exec wine "$@"
