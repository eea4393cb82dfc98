#!/usr/bin/env bash
# Runs the output benchmark for PCM and IMA ADPCM and times a plain copy of the PCM file in the
# same run, as the floor for writing that many bytes.
#   run_output_bench.sh BUILD_DIR [SCRATCH_DIR]
set -euo pipefail
build=$1
scratch=${2:-$build/bench/scratch/output_bench}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$root/scripts/bench.sh" up "$build/bench" >/dev/null
# shellcheck disable=SC1091
source "$build/bench/env"
rm -rf "$scratch" && mkdir -p "$scratch"
winpath="Z:${scratch//\//\\}"
exe="$build/tests/output/output_bench.exe"

wine "$exe" "$winpath" pcm
wine "$exe" "$winpath" ima
pcm="$scratch/bench pcm 0001.wav"
ls -l "$scratch"
start=$(date +%s.%N)
cp "$pcm" "$scratch/copy.wav"
end=$(date +%s.%N)
bytes=$(stat -c %s "$pcm")
python3 - "$bytes" "$start" "$end" <<'PY'
import sys
size, start, end = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
print(f"cp of {size / 1e6:.1f} MB: {end - start:.2f} s, {size / 1e6 / (end - start):.1f} MB/s")
PY
soxi "$pcm" | grep -E 'Duration'
soxi "$scratch/bench ima 0001.wav" | grep -E 'Duration'
rm -rf "$scratch"
