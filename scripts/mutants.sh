#!/usr/bin/env bash
# Planted faults: applies each mutant of scripts/mutants/ to the tree, one at a time, rebuilds,
# runs the ctest entries that cover its file and says whether the tests caught it (killed) or
# not (survived); at the end the kill rate, and the tree as it was. Not run by CI.
#
#   scripts/mutants.sh [NAME...]     (NAME: a file of scripts/mutants/ without .mutant)
#   scripts/mutants.sh --random COUNT --seed N --commits A..B [--lines changed|all]
#                      [--time SECONDS] [--files PATH...]
#
# A mutant file holds one planted fault, a one-line substitution:
#   file: engine/track_engine.cpp        the file, from the tree's root
#   line: <the line as it stands>        must stand exactly once in the file (spaces trimmed)
#   with: <the line that replaces it>
#   tests: engine_tests output_tests     ctest entries (default: by the file's folder)
#   equivalent: <why>                    optional: behaves as the original; not counted
# Lines starting with # say what the fault is.
#
# --random plants COUNT faults that nobody chose: scripts/random_mutants.py's rules (a
# comparison moved or turned, a constant one off, && and || swapped, a condition negated, a
# statement deleted) at random lines of the C++ files outside tests/ that the commits A..B
# changed: the lines they changed, or with --lines all any line of those files; --files keeps
# only the files or folders given. The same seed gives the same mutants. A mutant that does not
# build is counted apart; one whose entries still pass within --time seconds (default 1800)
# survived. Mutants judged by hand to behave as the original are listed in
# scripts/mutants/equivalent.txt as `file:line:rule-hash reason` and reported with the reason.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench
dir=$root/scripts/mutants
generator=$root/scripts/random_mutants.py

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
    split/*) echo "split_tests split_read_only split_sleeve_check encode_tracks_formats" ;;
    *) echo "" ;;
  esac
}

field() { sed -n "s/^$1: \{0,1\}//p" "$2" | head -n 1; }

random=0 count=0 seed='' commits='' lines=changed bound=1800 files=()
if [ "${1:-}" = --random ]; then
  random=1 count=${2:?--random COUNT}; shift 2
  while [ $# -gt 0 ]; do
    case $1 in
      --seed|--commits|--lines|--time) [ $# -ge 2 ] || { echo "$1 needs a value" >&2; exit 2; } ;;&
      --seed) seed=$2; shift 2 ;;
      --commits) commits=$2; shift 2 ;;
      --lines) lines=$2; shift 2 ;;
      --time) bound=$2; shift 2 ;;
      --files) shift; files=("$@"); break ;;
      *) echo "unknown option $1" >&2; exit 2 ;;
    esac
  done
  if [ -z "$seed" ] || [ -z "$commits" ]; then
    sed -n 7,8p "$0" | sed 's/^#//' >&2; exit 2
  fi
fi

saved=$(mktemp -d)
current='' bench_is_up=0
restore() {
  if [ -n "$current" ] && [ -f "$saved/original" ]; then cp "$saved/original" "$root/$current"; fi  # newer: rebuilt
  current=
}
trap 'restore; rm -rf "$saved"; [ $bench_is_up = 0 ] || "$root/scripts/bench.sh" down "$bench"' EXIT
trap 'exit 130' INT TERM

if [ $random = 1 ]; then  # picked first: a wrong range fails before the build
  python3 "$generator" pick "$root" --commits "$commits" --count "$count" --seed "$seed" \
    --lines "$lines" --equivalent "$dir/equivalent.txt" --out "$saved/list" \
    ${files[@]+--files "${files[@]}"}
fi
"$root/scripts/build.sh" >/dev/null
"$root/scripts/bench.sh" up "$bench" >/dev/null
bench_is_up=1

killed=0 survived=0 equivalent=0 broken=0 survivors=()
# Builds the tree as it now stands and runs the entries: prints and counts the verdict.
# Usage: judge NAME ENTRIES...
judge() {
  local name=$1; shift
  if ! "$root/scripts/build.sh" >"$saved/build.log" 2>&1; then
    echo "no build    $name"; broken=$((broken + 1)); return
  fi
  if [ $# -eq 0 ]; then
    echo "SURVIVED    $name (no ctest entry covers it)"; survived=$((survived + 1)); survivors+=("$name"); return
  fi
  local regex status=0
  regex="^($(echo "$*" | tr ' ' '|'))\$"
  timeout -k 30 "$bound" ctest --test-dir "$GROOVAL_BUILD" -R "$regex" --timeout 1200 \
    >"$saved/test.log" 2>&1 || status=$?
  if [ $status = 0 ]; then
    echo "SURVIVED    $name ($*)"; survived=$((survived + 1)); survivors+=("$name")
  elif [ $status = 124 ] || [ $status = 137 ]; then
    echo "killed      $name (its entries ran past ${bound} s)"; killed=$((killed + 1))
  else
    echo "killed      $name (failed: $(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p' "$saved/test.log" | xargs))"
    killed=$((killed + 1))
  fi
}

# The hand list: each named mutant file of scripts/mutants/.
planted_run() {
  local names=("$@") name m file line with tests count
  if [ ${#names[@]} -eq 0 ]; then
    for m in "$dir"/*.mutant; do names+=("$(basename "$m" .mutant)"); done
  fi
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
    # shellcheck disable=SC2086  # the entries are words
    judge "$name" $tests
    restore
  done
}

# The random sample picked into $saved/list: each mutant shown, then judged.
random_run() {
  local n i shown m_file m_line m_rule m_before m_after m_key m_equivalent
  n=$(wc -l <"$saved/list")
  for i in $(seq 1 "$n"); do
    shown=$(python3 "$generator" show "$saved/list" "$i")
    eval "$shown"
    echo "[$i/$n] $m_file:$m_line $m_rule"
    echo "    - ${m_before#"${m_before%%[![:space:]]*}"}"
    echo "    + ${m_after#"${m_after%%[![:space:]]*}"}"
    if [ -n "$m_equivalent" ]; then
      echo "equivalent  $m_key: $m_equivalent"; equivalent=$((equivalent + 1)); continue
    fi
    cp "$root/$m_file" "$saved/original"; current=$m_file
    python3 "$generator" apply "$root" "$saved/list" "$i"
    # shellcheck disable=SC2046  # the entries are words
    judge "$m_key" $(entries_for "$m_file")
    restore
  done
}

if [ $random = 1 ]; then random_run; else planted_run "$@"; fi
"$root/scripts/build.sh" >/dev/null   # the tree's own build again
counted=$((killed + survived))
if [ $random = 1 ]; then
  echo "seed $seed, commits $commits, lines $lines"
  echo "killed $killed, survived $survived, not compiled $broken, equivalent $equivalent"
else
  echo "killed $killed, survived $survived, equivalent $equivalent, not applied $broken"
fi
[ $counted -eq 0 ] || echo "kill rate $((100 * killed / counted))% of $counted non-equivalent mutants"
[ ${#survivors[@]} -eq 0 ] || echo "survivors: ${survivors[*]}"
