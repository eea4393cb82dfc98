#!/usr/bin/env bash
# Real music laid out as gramophone sides, for benchmarks that must not rely on synthesized
# sound alone (the declicker's, the silence level's). Not run by CI.
#
#   scripts/real-sides.sh DIR
#
# Fetches the soundtracks of three Debian packages (wesnoth-1.16-music: orchestra, choir, lute,
# drums; singularity-music: electronic music on a steady beat; hyperrogue-music: the pieces with
# the most onsets, for a third side of other material, g: scripts/level-bench.sh lays out its
# own sides c to f in the same folder) with `apt-get download` into
# DIR/debs and unpacks them with `dpkg-deb -x` into DIR/extract (never installed; a second run
# fetches nothing). Excerpts of the pieces are converted with sox to 44100 Hz 16-bit stereo and
# laid out by scripts/real_sides.py as sides: a second of lead-in, the pieces with 2-4 s gaps,
# fades at the excerpts' ends, surface noise at about -54 dBFS RMS with crackle. For each side:
#   DIR/side-X.wav        the side as a record would give it (music, noise, crackle)
#   DIR/side-X-music.wav  the same music without noise, frame for frame
#   DIR/side-X.txt        one line per piece: first frame, end frame, fade-in and fade-out
#                         frames, name
#   DIR/side-X-crackle.tsv  where the crackle ticks are: first frame, frames
# Clicks for a declicker's benchmark: scripts/inject-clicks.py DIR/side-X.wav OUT.wav N SEED
# writes OUT.wav and OUT.tsv (where each click is, its shape, width and peak).
# Needs sox (with Ogg Vorbis) and Python 3 with numpy (Debian's python3-numpy).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:?usage: real-sides.sh DIR}
mkdir -p "$dir/debs" "$dir/extract" "$dir/pieces"
dir=$(cd "$dir" && pwd)

python=/usr/bin/python3  # Debian's, where python3-numpy installs
if ! "$python" -c 'import numpy' 2>/dev/null || ! command -v sox >/dev/null; then
  apt-get install -y python3-numpy sox libsox-fmt-all >/dev/null
fi

packages=(wesnoth-1.16-music singularity-music hyperrogue-music)
for package in "${packages[@]}"; do
  if ! ls "$dir/debs/${package}"_*.deb >/dev/null 2>&1; then
    (cd "$dir/debs" && apt-get download "$package")
  fi
  stamp=$dir/extract/.$package
  if [ ! -e "$stamp" ]; then
    dpkg-deb -x "$dir/debs/${package}"_*.deb "$dir/extract"
    touch "$stamp"
  fi
done

wesnoth=$dir/extract/usr/share/games/wesnoth/1.16/data/core/music
singularity=$dir/extract/usr/share/games/singularity/music
hyperrogue=$dir/extract/usr/share/hyperrogue/music
# side|name|file|start (s)|length (s), chosen for what they hold
pieces=(
  "a|minstrels|$wesnoth/traveling_minstrels.ogg|8|80"        # lute, hand drums
  "a|northerners|$wesnoth/northerners.ogg|30|75"             # war drums, brass
  "a|nunc|$wesnoth/nunc_dimittis.ogg|20|80"                  # choir
  "a|battle|$wesnoth/battle-epic.ogg|5|65"                   # full orchestra, loud
  "b|media|$singularity/Media Threat.ogg|40|80"              # steady electronic beat
  "b|symphony|$wesnoth/the_dangerous_symphony.ogg|60|80"     # full orchestra, percussion
  "b|elvish|$wesnoth/elvish-theme.ogg|15|75"                 # harp, strings, soft
  "b|rite|$wesnoth/heroes_rite.ogg|40|70"                    # choir, orchestra, drums
  "g|icyland|$hyperrogue/hr3-icyland.ogg|5|75"               # 4.8 onsets a second
  "g|palace|$hyperrogue/hr-savino-palace.ogg|0|65"           # 3.9
  "g|ivory|$hyperrogue/hr-savino-ivory.ogg|0|64"             # 3.8
  "g|jungle|$hyperrogue/hr3-jungle.ogg|0|75"                 # 3.3
)
declare -A side_pieces
for line in "${pieces[@]}"; do
  IFS='|' read -r side name file start length <<<"$line"
  out=$dir/pieces/$side-$name.wav
  [ -s "$out" ] || sox -D "$file" -r 44100 -b 16 -c 2 "$out" trim "$start" "$length"
  side_pieces[$side]+="$out|"
done

seed=1
for side in a b g; do
  IFS='|' read -r -a files <<<"${side_pieces[$side]}"
  "$python" "$root/scripts/real_sides.py" "$dir/side-$side" "${files[@]}" --seed "$seed"
  seed=$((seed + 1))
done
ls -l "$dir"/side-*.wav
