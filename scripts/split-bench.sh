#!/usr/bin/env bash
# Benchmark of grooval-split: makes a side of 9 songs (9 min 8 s, 44100 Hz stereo) with sox,
# then times, 5 times each and interleaved, grooval-split under Wine, sox's own silence split
# of the same side, and a plain cp of it. Prints each median, the ratios, and peak memory.
#
#   scripts/split-bench.sh [RUNS]       (GROOVAL_BUILD as for scripts/test.sh)
#
# Built, not run by ctest. The bench (Wine prefix) of the build folder is brought up and down.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench
runs=${1:-5}
tool=$GROOVAL_BUILD/app/grooval-split.exe

"$root/scripts/build.sh" >/dev/null
"$root/scripts/bench.sh" up "$bench" >/dev/null
trap '"$root/scripts/bench.sh" down "$bench" >/dev/null' EXIT
# shellcheck disable=SC1091
source "$bench/env"

work=$bench/split-bench
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The side: a second of silence, then 9 songs of 58 s, each followed by 3 s of silence.
songs=()
for i in 1 2 3 4 5 6 7 8 9; do
  sox -n -r 44100 -c 2 -b 16 "song$i.wav" synth 58 sine $((200 + 50 * i)) sine $((300 + 70 * i)) \
    tremolo $((2 + i)) 40 vol 0.4
  songs+=("song$i.wav" gap.wav)
done
sox -n -r 44100 -c 2 -b 16 gap.wav trim 0 3
sox -n -r 44100 -c 2 -b 16 lead.wav trim 0 1
sox lead.wav "${songs[@]}" side.wav
seconds=$(soxi -D side.wav)
bytes=$(stat -c %s side.wav)
echo "side: ${seconds} s, $bytes bytes"
cat side.wav >/dev/null  # in the page cache for every command alike

side_win="Z:${work//\//\\}\\side.wav"
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

for i in $(seq 1 "$runs"); do
  rm -rf out-tool out-sox copy.wav && mkdir -p out-tool out-sox
  run tool wine "$tool" -q -o "Z:${work//\//\\}\\out-tool" "$side_win"
  run sox sox side.wav out-sox/track.wav silence 1 0.05 0.5% 1 2.0 0.5% : newfile : restart
  run cp cp side.wav copy.wav
done

median() {  # median of column $2 of file $1
  sort -g -k"$2","$2" "$1" | awk -v c="$2" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}
tool_s=$(median tool.times 1); sox_s=$(median sox.times 1); cp_s=$(median cp.times 1)
echo "tracks: grooval-split $(ls out-tool | wc -l), sox $(ls out-sox | wc -l)"
echo "median wall time of $runs runs:"
printf '  grooval-split (wine)  %8.3f s\n' "$tool_s"
printf '  sox silence split     %8.3f s\n' "$sox_s"
printf '  cp                    %8.3f s\n' "$cp_s"
awk -v t="$tool_s" -v s="$sox_s" -v c="$cp_s" 'BEGIN {
  printf "  sox / grooval-split   %8.2fx (target at least 4x)\n", s / t
  printf "  grooval-split / cp    %8.2fx (target at most 2x)\n", t / c }'
if [ $have_time -eq 1 ]; then
  echo "peak resident memory (median, /usr/bin/time):"
  echo "  grooval-split (wine process) $(median tool.times 2) KB, sox $(median sox.times 2) KB," \
       "cp $(median cp.times 2) KB"
fi
# Memory stays flat: the tool's own figures on the side and on the side three times over.
sox side.wav side.wav side.wav long.wav
echo "the tool's own figures (--stats), on the side and on the side three times over:"
for input in side.wav long.wav; do
  rm -rf out-tool && mkdir -p out-tool
  wine "$tool" -q --stats -o "Z:${work//\//\\}\\out-tool" "Z:${work//\//\\}\\$input" 2>&1 | sed 's/^/  /'
done
cd "$bench" && rm -rf "$work"  # half a gigabyte of sides and tracks
