#!/usr/bin/env bash
# Benchmark of grooval-split on a hi-res side: the benchmarks' 9 songs made 24-bit 96 kHz by sox
# and repeated to a 20-minute side (691 MB), and the same 20 minutes at 44.1 kHz/16 bits (the
# path every side took before). Times, RUNS times each and interleaved under nice:
#   grooval-split on the 96 kHz side (WAV tracks of its own 24-bit frames), the same with
#   --bits 16 (dithered copies), grooval-split on the 44.1 kHz side, sox's silence split of the
#   96 kHz side and a plain cp of it,
# and prints the medians with peak memory beside them and the ratios. Peak memory is the
# maximum resident set of the command's process (/usr/bin/time %M, as -v reports it): under
# Wine the exe runs in the process wine starts, so that is the exe's (the wineserver, shared,
# is not counted); the tool's own peak working set (--stats) is printed after.
#
#   scripts/hires-bench.sh [RUNS]       (GROOVAL_BUILD as for scripts/test.sh)
#
# Built, not run by ctest. The bench (Wine prefix) of the build folder is brought up and down.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

runs=${1:-3}
tool=$GROOVAL_BUILD/app/grooval-split.exe
[ -x /usr/bin/time ] || { echo "hires-bench.sh: /usr/bin/time is needed for peak memory" >&2; exit 1; }
bench_up --build --quiet
bench_work hires-bench
synth_side songs.wav 0.002
sox songs.wav -r 96000 -b 24 songs96.wav
sox songs96.wav songs96.wav songs96.wav side96.wav trim 0 20:00
sox side96.wav -r 44100 -b 16 side44.wav
rm -f songs.wav songs96.wav

# run NAME COMMAND...: one timed run under nice; appends "seconds maxRSS-KB" to NAME.times
run() {
  local name=$1; shift
  rm -rf out copy.wav && mkdir -p out
  nice /usr/bin/time -f "%e %M" -o "$name.one" "$@" >/dev/null 2>"$name.err" ||
    { echo "hires-bench.sh: $name failed:" >&2; cat "$name.err" >&2; exit 1; }
  tail -n 1 "$name.one" >>"$name.times"
}

cat side96.wav side44.wav >/dev/null  # in the page cache for every command alike
for i in $(seq 1 "$runs"); do
  run own96 wine "$tool" -q -o "$work_win\\out" "$work_win\\side96.wav"
  run bits16 wine "$tool" -q --bits 16 -o "$work_win\\out" "$work_win\\side96.wav"
  run path44 wine "$tool" -q -o "$work_win\\out" "$work_win\\side44.wav"
  run sox96 sox side96.wav out/track.wav silence 1 0.05 0.5% 1 2.0 0.5% : newfile : restart
  run cp96 cp side96.wav copy.wav
done
rm -rf out copy.wav

echo "side96.wav: $(soxi -D side96.wav) s, $(stat -c %s side96.wav) bytes, 24-bit 96000 Hz;" \
     "side44.wav: $(stat -c %s side44.wav) bytes, 16-bit 44100 Hz; median of $runs runs:"
for name in own96 bits16 path44 sox96 cp96; do
  case $name in
    own96) label="grooval-split 96/24 (own frames)" ;;
    bits16) label="grooval-split 96/24 --bits 16" ;;
    path44) label="grooval-split 44.1/16" ;;
    sox96) label="sox silence split 96/24" ;;
    cp96) label="cp 96/24" ;;
  esac
  printf '  %-34s %8.3f s  peak %8.0f KB\n' "$label" "$(median $name.times 1)" "$(median $name.times 2)"
done
awk -v o="$(median own96.times 1)" -v b="$(median bits16.times 1)" -v p="$(median path44.times 1)" \
    -v s="$(median sox96.times 1)" -v c="$(median cp96.times 1)" 'BEGIN {
  printf "  96/24 / sox            %6.2f\n  96/24 / cp             %6.2f\n", o / s, o / c
  printf "  96/24 / 44.1/16        %6.2f  (%.2f per byte of input)\n", o / p, o / p / (96000 * 6 / (44100 * 4))
  printf "  --bits 16 / own frames %6.2f\n", b / o }'
echo "the tool's own figures (--stats):"
for input in side96 side44; do
  rm -rf out && mkdir -p out
  wine "$tool" -q --stats -o "$work_win\\out" "$work_win\\$input.wav" 2>&1 | tr -d '\r' |
    sed "s/^/  $input: /"
done
cd "$bench" && rm -rf "$work"  # a gigabyte of sides and tracks
