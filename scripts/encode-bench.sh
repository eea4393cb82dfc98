#!/usr/bin/env bash
# Benchmark of grooval-split's FLAC and MP3 tracks against Debian's flac and lame: makes a side
# of 9 songs (9 min 8 s, 44100 Hz stereo: tones with tremolo over pink noise), splits it into
# WAV tracks once, then times, RUNS times each and interleaved, grooval-split under Wine writing
# each format and the peer tool on Linux encoding those WAV tracks at the same setting. Prints
# the median times, the tool's time less its PCM split (the encoding's share), and the bytes
# of the tracks of each.
#
#   scripts/encode-bench.sh [RUNS]       (GROOVAL_BUILD as for scripts/test.sh)
#
# Built, not run by ctest. The bench (Wine prefix) of the build folder is brought up and down.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

runs=${1:-5}
tool=$GROOVAL_BUILD/app/grooval-split.exe
bench_up --build --quiet
bench_work encode-bench
synth_side side.wav 0.05  # pink noise under the tones, as a record's surface gives
echo "side: $(soxi -D side.wav) s, $(stat -c %s side.wav) bytes"
mkdir -p wav
wine "$tool" -q -o "$work_win\\wav" side.wav
tracks=(wav/*.wav)
echo "tracks: ${#tracks[@]} WAV tracks of $(cat "${tracks[@]}" | wc -c) bytes"
cat side.wav "${tracks[@]}" >/dev/null  # in the page cache for every command alike

# Pairs: the tool's format and the peer's command for one track (IN, OUT).
formats=(pcm flac:0 flac flac:8 mp3 mp3:v0 mp3:128)
declare -A peer=(
  [flac:0]='flac -s -f -0 -o "$2" "$1"'
  [flac]='flac -s -f -5 -o "$2" "$1"'
  [flac:8]='flac -s -f -8 -o "$2" "$1"'
  [mp3]='lame --silent -V 2 "$1" "$2"'
  [mp3:v0]='lame --silent -V 0 "$1" "$2"'
  [mp3:128]='lame --silent -b 128 "$1" "$2"'
)

seconds() {  # seconds COMMAND...: the wall time of one run
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

peer_encode() {  # peer_encode FORMAT: the peer tool on every WAV track, one after the other
  local format=$1 extension=${1%%:*} out=peer-${1//:/-} track
  rm -rf "$out" && mkdir -p "$out"
  for track in "${tracks[@]}"; do
    bash -c "${peer[$format]}" - "$track" "$out/$(basename "${track%.wav}").$extension"
  done
}

tool_split() {  # tool_split FORMAT
  local out=tool-${1//:/-}
  rm -rf "$out" && mkdir -p "$out"
  wine "$tool" -q -f "$1" -o "$work_win\\$out" side.wav
}

for i in $(seq 1 "$runs"); do
  for format in "${formats[@]}"; do
    seconds tool_split "$format" >>"tool-${format//:/-}.times"
    [ "$format" = pcm ] || seconds peer_encode "$format" >>"peer-${format//:/-}.times"
  done
done

bytes() { cat "$1"/* | wc -c; }

split_s=$(median tool-pcm.times)
printf 'median wall time of %d runs; bytes of all tracks\n' "$runs"
printf '  %-8s %-22s %9s %9s %12s %14s %14s %7s\n' format "peer command" "tool s" "peer s" \
  "tool-split s" "tool bytes" "peer bytes" ratio
printf '  %-8s %-22s %9.3f\n' pcm "(split only)" "$split_s"
for format in "${formats[@]:1}"; do
  name=${format//:/-}
  tool_s=$(median "tool-$name.times"); peer_s=$(median "peer-$name.times")
  tool_b=$(bytes "tool-$name"); peer_b=$(bytes "peer-$name")
  command=${peer[$format]%% \"*}
  awk -v f="$format" -v c="$command" -v t="$tool_s" -v p="$peer_s" -v s="$split_s" \
      -v tb="$tool_b" -v pb="$peer_b" 'BEGIN {
    printf "  %-8s %-22s %9.3f %9.3f %12.3f %14d %14d %7.4f\n", f, c, t, p, t - s, tb, pb, tb / pb }'
done
echo "(tool: grooval-split under Wine, the whole split; tool-split: less its PCM split;"
echo " peer: Debian's tool on Linux, on each WAV track; ratio: tool bytes / peer bytes)"
cd "$bench" && rm -rf "$work"  # a quarter of a gigabyte of sides and tracks
