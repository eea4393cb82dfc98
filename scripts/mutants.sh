#!/usr/bin/env bash
# Planted faults: applies each mutant of scripts/mutants/ to the tree, one at a time, rebuilds,
# runs the ctest entries that cover its file and says whether the tests caught it (killed) or
# not (survived); at the end the kill rate, and the tree as it was. Not run by CI.
#
#   scripts/mutants.sh [NAME...]     (NAME: a file of scripts/mutants/ without .mutant)
#
# A mutant file holds one planted fault, a one-line substitution:
#   file: engine/track_engine.cpp        the file, from the tree's root
#   line: <the line as it stands>        must stand exactly once in the file (spaces trimmed)
#   with: <the line that replaces it>
#   tests: engine_tests output_tests     ctest entries (default: by the file's folder)
#   equivalent: <why>                    optional: behaves as the original; not counted
# Lines starting with # say what the fault is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench
dir=$root/scripts/mutants

# The ctest entries that cover a folder's code when a mutant names none.
entries_for() {
  case $1 in
    base/*|engine/*) echo "engine_tests output_tests split_tests" ;;
    output/*) echo "output_tests output_full_disk split_tests" ;;
    capture/*) echo "capture_tests" ;;
    settings/*) echo "settings_tests" ;;
    mixer/*) echo "mixer_tests" ;;
    diag/*) echo "diag_tests" ;;
    app/*) echo "app_tests app_window_tests app_nocard_tests" ;;
    encode/*) echo "encode_tests split_tests encode_tracks_formats encode_tracks_short encode_tracks_stage" ;;
    dsp/*) echo "dsp_tests split_tests" ;;
    split/*) echo "split_tests split_sleeve_check encode_tracks_formats" ;;
    *) echo "" ;;
  esac
}

field() { sed -n "s/^$1: \{0,1\}//p" "$2" | head -n 1; }

"$root/scripts/build.sh" >/dev/null
"$root/scripts/bench.sh" up "$bench" >/dev/null
saved=$(mktemp -d)
current=
restore() {
  if [ -n "$current" ] && [ -f "$saved/original" ]; then cp "$saved/original" "$root/$current"; fi  # newer: rebuilt
  current=
}
trap 'restore; rm -rf "$saved"; "$root/scripts/bench.sh" down "$bench"' EXIT

if [ $# -gt 0 ]; then names=("$@"); else
  names=(); for f in "$dir"/*.mutant; do names+=("$(basename "$f" .mutant)"); done
fi
killed=0; survived=0; equivalent=0; broken=0; survivors=()
for name in "${names[@]}"; do
  m=$dir/$name.mutant
  file=$(field file "$m"); line=$(field line "$m"); with=$(field with "$m")
  tests=$(field tests "$m"); [ -n "$tests" ] || tests=$(entries_for "$file")
  if [ -n "$(field equivalent "$m")" ]; then
    echo "equivalent  $name"; equivalent=$((equivalent + 1)); continue
  fi
  count=$(python3 - "$root/$file" "$line" <<'PY'
import sys
print(sum(1 for l in open(sys.argv[1], encoding='utf-8', errors='surrogateescape') if l.strip() == sys.argv[2].strip()))
PY
)
  if [ "$count" != 1 ]; then
    echo "stale       $name ($file holds the line $count times)"; broken=$((broken + 1)); continue
  fi
  cp "$root/$file" "$saved/original"; current=$file
  python3 - "$root/$file" "$line" "$with" <<'PY'
import sys
path, old, new = sys.argv[1:4]
lines = open(path, encoding='utf-8', errors='surrogateescape').read().split('\n')
for i, l in enumerate(lines):
    if l.strip() == old.strip():
        lines[i] = l[:len(l) - len(l.lstrip())] + new.strip()
open(path, 'w', encoding='utf-8', errors='surrogateescape').write('\n'.join(lines))
PY
  if ! "$root/scripts/build.sh" >"$saved/build.log" 2>&1; then
    echo "no build    $name"; broken=$((broken + 1)); restore; continue
  fi
  regex="^($(echo $tests | tr ' ' '|'))\$"
  if ctest --test-dir "$GROOVAL_BUILD" -R "$regex" --timeout 1200 >"$saved/test.log" 2>&1; then
    echo "SURVIVED    $name ($tests)"; survived=$((survived + 1)); survivors+=("$name")
  else
    echo "killed      $name"; killed=$((killed + 1))
  fi
  restore
done
"$root/scripts/build.sh" >/dev/null   # the tree's own build again
counted=$((killed + survived))
echo "killed $killed, survived $survived, equivalent $equivalent, not applied $broken"
[ $counted -eq 0 ] || echo "kill rate $((100 * killed / counted))% of $counted non-equivalent mutants"
[ ${#survivors[@]} -eq 0 ] || echo "survivors: ${survivors[*]}"
