#!/usr/bin/env bash
# Runs a Windows exe under Wine on the bench of a build tree (ctest's cross-compiling emulator).
#   wine-run.sh BENCHDIR [--gtest] [--no-card] program.exe [args...]
# With --gtest the exe is a GoogleTest program: it passes only when it exits 0 and its output
# holds GoogleTest's summary with no unhandled exception after it, so an exe that dies part-way
# (a crash, an exit from a helper thread) never counts as passed. --no-card points the sound
# server address nowhere, so Wine sees a machine without a sound card.
set -euo pipefail
bench=$1; shift
gtest=0
no_card=0
if [ "${1:-}" = "--gtest" ]; then gtest=1; shift; fi
if [ "${1:-}" = "--no-card" ]; then no_card=1; shift; fi
# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench-env.sh" "$bench"
[ $no_card -eq 0 ] || export PULSE_SERVER=unix:/nonexistent/native
[ $gtest -eq 1 ] || exec wine "$@"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# In the background, so that a signal (ctest's time-out, small_drive.sh's clean-up) ends the exe
# and still shows what it printed.
wine "$@" >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null' TERM INT HUP
rc=0
wait "$pid" || rc=$?
cat "$log"
name=${1##*/}
# Unhandled-exception lines before the summary may come from child processes a test crashes on
# purpose; the exe's own death shows as a missing summary, or as such a line after it (a fault
# while the process ends).
summary=$(grep -nE '^\[==========\] [0-9]+ tests? from [0-9]+ test (suites?|cases?) ran\.' "$log" | tail -n 1 | cut -d: -f1 || true)
if [ -z "$summary" ]; then
  echo "wine-run: $name ended without GoogleTest's summary (exit $rc): it died part-way" >&2
  [ "$rc" -ne 0 ] || rc=1
elif tail -n +"$summary" "$log" | grep -qE '^wine: Unhandled'; then
  echo "wine-run: $name raised an unhandled exception after its summary (exit $rc)" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
exit "$rc"
