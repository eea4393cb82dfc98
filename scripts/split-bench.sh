#!/usr/bin/env bash
# Benchmark of grooval-split: makes a side of 9 songs (9 min 8 s, 44100 Hz stereo) with sox and
# a long side of it three times over (27.5 min, 291 MB, about the longest LP side). On each,
# times grooval-split under Wine (its start included), sox's own silence split of the same side
# and a plain cp of it, RUNS times each and interleaved, and prints the medians with peak
# memory beside them and the ratios the targets name. Then engine_bench's real-time factors.
#
#   scripts/split-bench.sh [RUNS]       (GROOVAL_BUILD as for scripts/test.sh)
#
# Built, not run by ctest. The bench (Wine prefix) of the build folder is brought up and down.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

runs=${1:-5}
tool=$GROOVAL_BUILD/app/grooval-split.exe
bench_up --build --quiet
bench_work split-bench
synth_side side.wav
sox side.wav side.wav side.wav long.wav

have_time=0
[ -x /usr/bin/time ] && have_time=1

# run NAME COMMAND...: one timed run; appends "seconds maxRSS-KB" to NAME.times
run() {
  local name=$1; shift
  if [ $have_time -eq 1 ]; then
    /usr/bin/time -f "%e %M" -o "$name.one" "$@" >/dev/null 2>"$name.err"
  else
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>"$name.err"
    end=$(date +%s.%N)
    echo "$(echo "$end - $start" | bc) 0" >"$name.one"
  fi
  tail -n 1 "$name.one" >>"$name.times"
}

# bench_side NAME TOOL_TARGET: the three commands on NAME.wav, then medians and ratios.
bench_side() {
  local side=$1 target=$2
  rm -f ./*.times
  cat "$side.wav" >/dev/null  # in the page cache for every command alike
  for i in $(seq 1 "$runs"); do
    rm -rf out-tool out-sox copy.wav && mkdir -p out-tool out-sox
    run tool wine "$tool" -q -o "$work_win\\out-tool" "$work_win\\$side.wav"
    rm -rf out-tool copy.wav && mkdir -p out-tool
    run sox sox "$side.wav" out-sox/track.wav silence 1 0.05 0.5% 1 2.0 0.5% : newfile : restart
    rm -rf out-sox && mkdir -p out-sox
    run cp cp "$side.wav" copy.wav
  done
  local tool_s sox_s cp_s
  tool_s=$(median tool.times 1); sox_s=$(median sox.times 1); cp_s=$(median cp.times 1)
  echo "$side: $(soxi -D "$side.wav") s, $(stat -c %s "$side.wav") bytes; median of $runs runs:"
  printf '  grooval-split (wine)  %8.3f s  peak %8.0f KB\n' "$tool_s" "$(median tool.times 2)"
  printf '  sox silence split     %8.3f s  peak %8.0f KB\n' "$sox_s" "$(median sox.times 2)"
  printf '  cp                    %8.3f s  peak %8.0f KB\n' "$cp_s" "$(median cp.times 2)"
  awk -v t="$tool_s" -v s="$sox_s" -v c="$cp_s" -v target="$target" 'BEGIN {
    printf "  grooval-split / sox   %8.2f  (target at most %s)\n", t / s, target
    if (target == "1/3") printf "  grooval-split / cp    %8.2f  (target at most 4)\n", t / c
    else printf "  grooval-split / cp    %8.2f\n", t / c }'
}

bench_side side 1/2
bench_side long 1/3
rm -rf out-tool out-sox copy.wav
# The tool's own figures: time inside the process and peak working set, flat in the length.
echo "the tool's own figures (--stats):"
for input in side long; do
  rm -rf out-tool && mkdir -p out-tool
  wine "$tool" -q --stats -o "$work_win\\out-tool" "$work_win\\$input.wav" 2>&1 | sed "s/^/  $input: /"
done
echo "engine_bench (one core, a discarding writer; target at least 20000x real time):"
wine "$GROOVAL_BUILD/tests/engine/engine_bench.exe" | grep -E 'fed|x real' | sed 's/^/  /'
cd "$bench" && rm -rf "$work"  # half a gigabyte of sides and tracks
