#!/usr/bin/env bash
# A read-only disk for the SplitReadOnly test of split_tests: a small tmpfs mounted read-only
# inside the build tree becomes Wine's drive R: while the test writes to it. Mounting needs root
# (CI runs as root, to whom permissions alone deny nothing); the mount and the drive go however
# the test ends.
#
#   read_only.sh BENCH_DIR SPLIT_TESTS_EXE
set -euo pipefail
bench=$1
exe=$2
# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/bench-env.sh" "$bench"

disk=$(cd "$(dirname "$exe")" && pwd)/read_only
drive=$WINEPREFIX/dosdevices/r:
test_pid=

cleanup() {
  [ -n "$test_pid" ] && kill "$test_pid" 2>/dev/null && wait "$test_pid" 2>/dev/null
  rm -f "$drive"
  if mountpoint -q "$disk"; then umount "$disk" 2>/dev/null || umount -l "$disk"; fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mkdir -p "$disk"
if mountpoint -q "$disk"; then umount "$disk"; fi   # left by a run that was killed outright
mount -t tmpfs -o ro,size=64k,mode=0755 tmpfs "$disk"
ln -sfn "$disk" "$drive"
# In the background, so that a signal from ctest reaches the trap at once.
GROOVAL_READ_ONLY='R:' "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-run.sh" "$bench" --gtest "$exe" --gtest_filter='SplitReadOnly.*' &
test_pid=$!
status=0
wait "$test_pid" || status=$?
test_pid=
exit "$status"
