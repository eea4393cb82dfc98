#!/usr/bin/env bash
# A small tmpfs, mounted inside the build tree, as a Wine drive while a test exe's filter runs
# on it: a full disk (output_full_disk) or a read-only one (split_read_only). Mounting needs
# root (CI runs as root, to whom permissions alone deny nothing); the mount and the drive go
# however the test ends. The test finds the drive in the environment variable named.
#
#   small_drive.sh BENCH_DIR EXE NAME LETTER MOUNT_OPTIONS VARIABLE GTEST_FILTER
set -euo pipefail
bench=$1 exe=$2 name=$3 letter=$4 options=$5 variable=$6 filter=$7
# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/bench-env.sh" "$bench"

disk=$(cd "$(dirname "$exe")" && pwd)/$name
drive=$WINEPREFIX/dosdevices/$letter:
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
mount -t tmpfs -o "$options" tmpfs "$disk"
ln -sfn "$disk" "$drive"
# In the background, so that a signal from ctest reaches the trap at once.
env "$variable=${letter^^}:" "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-run.sh" "$bench" \
  --gtest "$exe" --gtest_filter="$filter" &
test_pid=$!
status=0
wait "$test_pid" || status=$?
test_pid=
exit "$status"
