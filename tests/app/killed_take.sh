#!/usr/bin/env bash
# The recorder killed in the middle of a take (killed_take_test.cpp), then its file read with
# Python's wave module: it opens, holds every frame its header counts, and at least as many
# as the test found the recorder had taken, less 2 s.
#   killed_take.sh BENCH_DIR TEST_EXE
set -euo pipefail
bench=$1
exe=$2
"$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-run.sh" "$bench" "$exe"
folder=$bench/scratch/killed_take
read -r name least <"$folder/expected.txt"
python3 - "$folder/$name" "$least" <<'PY'
import sys
import wave

path, least = sys.argv[1], int(sys.argv[2])
with wave.open(path) as take:
    frames = take.getnframes()
    params = (take.getnchannels(), take.getsampwidth(), take.getframerate())
    data = take.readframes(frames)
assert params == (2, 2, 44100), f"{path}: {params}"
assert len(data) == frames * 4, f"{path}: the header counts {frames} frames, the file holds {len(data) // 4}"
assert frames >= least, f"{path}: {frames} frames, at least {least} expected"
print(f"{path}: {frames} frames read by Python's wave module (at least {least} expected)")
PY
