# shellcheck shell=bash
# Sourced by the scripts that run on the bench of a build folder. It sets `root` (the
# repository), `GROOVAL_BUILD` (exported; <root>/build unless given) and `bench`
# (<build>/bench), and gives:
#   bench_up [--build] [--quiet] [--system-audio]
#                                        builds first (--build), brings the bench up, takes its
#                                        environment (bench-env.sh) and takes it down when the
#                                        script ends; --quiet: no output of its own
#   bench_on_exit COMMAND                runs COMMAND (one word: a function) before that
#   bench_work NAME                      a fresh folder <bench>/NAME as `work`, entered; its
#                                        Windows path in `work_win`
#   synth_side FILE [NOISE]              the benchmarks' side of 9 songs (9 min 8 s, 44100 Hz
#                                        stereo): a second of silence, then 9 songs of 58 s
#                                        (two tones with tremolo, pink noise at volume NOISE
#                                        mixed in when given), each followed by 3 s of silence
#   median FILE [COLUMN]                 the median of a column of numbers (the first)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench

bench_exit_command=
bench_quiet=0

bench_on_exit() {
  bench_exit_command=$1
}

bench_down_on_exit() {
  [ -z "$bench_exit_command" ] || "$bench_exit_command" || true
  if [ "$bench_quiet" = 1 ]; then
    "$root/scripts/bench.sh" down "$bench" >/dev/null
  else
    "$root/scripts/bench.sh" down "$bench"
  fi
}

bench_up() {
  local options=() build=0
  for option; do
    case $option in
      --build) build=1 ;;
      --quiet) bench_quiet=1 ;;
      *) options+=("$option") ;;
    esac
  done
  if [ "$bench_quiet" = 1 ]; then
    [ $build = 0 ] || "$root/scripts/build.sh" >/dev/null
    "$root/scripts/bench.sh" up "$bench" "${options[@]}" >/dev/null
  else
    [ $build = 0 ] || "$root/scripts/build.sh"
    "$root/scripts/bench.sh" up "$bench" "${options[@]}"
  fi
  trap bench_down_on_exit EXIT
  # shellcheck source=scripts/bench-env.sh
  source "$root/scripts/bench-env.sh" "$bench"
}

bench_work() {
  work=$bench/$1
  rm -rf "$work"
  mkdir -p "$work"
  cd "$work" || return
  # shellcheck disable=SC2034  # for the scripts that source this
  work_win="Z:${work//\//\\}"
}

synth_side() {
  local out=$1 noise=${2:-} parts i
  parts=$(mktemp -d "$(dirname "$out")/side-parts.XXXXXX")
  local songs=()
  for i in 1 2 3 4 5 6 7 8 9; do
    sox -n -r 44100 -c 2 -b 16 "$parts/tone.wav" synth 58 sine $((200 + 50 * i)) \
      sine $((300 + 70 * i)) tremolo $((2 + i)) 40 vol 0.4
    if [ -n "$noise" ]; then
      sox -n -r 44100 -c 2 -b 16 "$parts/noise.wav" synth 58 pinknoise vol "$noise"
      sox -m "$parts/tone.wav" "$parts/noise.wav" "$parts/song$i.wav"
    else
      mv "$parts/tone.wav" "$parts/song$i.wav"
    fi
    songs+=("$parts/song$i.wav" "$parts/gap.wav")
  done
  sox -n -r 44100 -c 2 -b 16 "$parts/gap.wav" trim 0 3
  sox -n -r 44100 -c 2 -b 16 "$parts/lead.wav" trim 0 1
  sox "$parts/lead.wav" "${songs[@]}" "$out"
  rm -rf "$parts"
}

median() {
  sort -g -k"${2:-1}","${2:-1}" "$1" |
    awk -v c="${2:-1}" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}
