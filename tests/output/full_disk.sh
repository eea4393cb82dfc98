#!/usr/bin/env bash
# A real full disk for the FullDisk test of output_tests: a 400 KiB tmpfs, mounted inside the
# build tree, becomes Wine's drive Q: while the test records into it. Mounting needs root (CI
# runs as root); the mount and the drive go however the test ends.
#
#   full_disk.sh BENCH_DIR OUTPUT_TESTS_EXE
set -euo pipefail
bench=$1
exe=$2
# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/bench-env.sh" "$bench"

disk=$(cd "$(dirname "$exe")" && pwd)/full_disk
drive=$WINEPREFIX/dosdevices/q:
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
mount -t tmpfs -o size=400k,mode=0755 tmpfs "$disk"
ln -sfn "$disk" "$drive"
# In the background, so that a signal from ctest reaches the trap at once.
GROOVAL_FULL_DISK='Q:' "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-run.sh" "$bench" --gtest "$exe" --gtest_filter='FullDisk.*' &
test_pid=$!
status=0
wait "$test_pid" || status=$?
test_pid=
exit "$status"
