#!/usr/bin/env bash
# The silence level on real music: where grooval-split cuts sides of real recordings at the
# fixed level 4 (the recorder's default; what -s 4 and --settings keep) and at its automatic
# level (--silence auto, its default), as scripts/level_bench.py counts it: music above
# -50 dBFS lost before and after each track, cuts in the gaps, pieces split or joined.
#
#   scripts/level-bench.sh [DIR]      (GROOVAL_BUILD as for scripts/test.sh; DIR default
#                                      <build>/real-sides)
#
# The sides: a and b of scripts/real-sides.sh (surface noise at -54 dBFS RMS), and four more
# laid out the same way from the same packages: c soft pieces (harp, strings, a lament) on a
# worn record (noise at -48 dBFS), d orchestra and choir on a quiet one (-60 dBFS), e folk
# and marches at -54 dBFS behind 3 s of digital silence (the recording started before the
# needle met the record), f one long piece and nothing else (no gap: no floor to find), h a
# 78-like side of three pieces (surface noise at -40 dBFS, 80 crackle ticks a second) and i
# three pieces over 15 Hz rumble at -35 dBFS (hiss at -54 dBFS).
# Built, not run by ctest; run it with nice on a shared machine.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

dir=${1:-$GROOVAL_BUILD/real-sides}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
bash "$root/scripts/real-sides.sh" "$dir" >/dev/null

python=/usr/bin/python3  # Debian's, with numpy (real-sides.sh installs it)
wesnoth=$dir/extract/usr/share/games/wesnoth/1.16/data/core/music
# side|noise (dBFS RMS)|seed|file|start (s)|length (s)
pieces=(
  "c|-48|3|$wesnoth/love_theme.ogg|0|95"
  "c|-48|3|$wesnoth/sad.ogg|0|44"
  "c|-48|3|$wesnoth/transience.ogg|0|48"
  "c|-48|3|$wesnoth/revelation.ogg|0|77"
  "c|-48|3|$wesnoth/elf-land.ogg|0|26"
  "d|-60|4|$wesnoth/silvan_sanctuary.ogg|0|90"
  "d|-60|4|$wesnoth/the_king_is_dead.ogg|30|70"
  "d|-60|4|$wesnoth/journeys_end.ogg|60|80"
  "d|-60|4|$wesnoth/wanderer.ogg|100|80"
  "e|-54|5|$wesnoth/knalgan_theme.ogg|200|80"
  "e|-54|5|$wesnoth/legends_of_the_north.ogg|20|80"
  "e|-54|5|$wesnoth/underground.ogg|0|112"
  "e|-54|5|$wesnoth/main_menu.ogg|0|51"
  "f|-54|6|$wesnoth/the_deep_path.ogg|0|217"
  "h|-40|7|$wesnoth/loyalists.ogg|10|60|--crackle 80"
  "h|-40|7|$wesnoth/knolls.ogg|0|55|--crackle 80"
  "h|-40|7|$wesnoth/return_to_wesnoth.ogg|20|60|--crackle 80"
  "i|-54|8|$wesnoth/siege_of_laurelmor.ogg|0|60|--rumble -35"
  "i|-54|8|$wesnoth/the_city_falls.ogg|10|60|--rumble -35"
  "i|-54|8|$wesnoth/into_the_shadows.ogg|0|60|--rumble -35"
)
declare -A side_pieces side_noise side_seed side_more
for line in "${pieces[@]}"; do
  IFS='|' read -r side noise seed file start length more <<<"$line"
  out=$dir/pieces/$side-$(basename "$file" .ogg).wav
  [ -s "$out" ] || sox -D "$file" -r 44100 -b 16 -c 2 "$out" trim "$start" "$length"
  side_pieces[$side]+="$out|"
  side_noise[$side]=$noise
  side_seed[$side]=$seed
  side_more[$side]=${more:-}
done
for side in c d e f h i; do
  if [ ! -s "$dir/side-$side.wav" ]; then
    IFS='|' read -r -a files <<<"${side_pieces[$side]}"
    read -r -a more <<<"${side_more[$side]}"
    "$python" "$root/scripts/real_sides.py" "$dir/side-$side" "${files[@]}" \
      --seed "${side_seed[$side]}" --noise "${side_noise[$side]}" "${more[@]}"
  fi
done
"$python" "$root/scripts/level_sides.py" "$dir/side-e" 3

bench_up --build --quiet
bench_work level-bench
tool=$GROOVAL_BUILD/app/grooval-split.exe
for side in a b c d e f h i; do
  for level in 4 auto; do
    wine "$tool" -q --stats --dry-run -s "$level" --preview "$work_win\\side.svg" \
      "Z:${dir//\//\\}\\side-$side.wav" 2>"$work/stats.txt" || true
    chosen=$(sed -n 's/.*stats: \(silence level [0-9]* ([^)]*)\).*/\1/p' "$work/stats.txt")
    "$python" "$root/scripts/level_bench.py" "$dir/side-$side" "$work/side.svg" \
      "$side -s $level: ${chosen#silence }"
    grep -E 'warning|noise floor' "$work/stats.txt" | sed 's/^/    /' || true
  done
done
