#!/usr/bin/env bash
# Makes what a Windows user downloads: dist/Grooval-<version>-setup.exe and the portable
# dist/Grooval-<version>.zip with the same files. Both come out of the normal build
# (installer/CMakeLists.txt); this installs what is missing, builds, and copies them to dist/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
mkdir -p "$root/dist"
shopt -s nullglob
made=("$GROOVAL_BUILD"/dist/Grooval-*-setup.exe "$GROOVAL_BUILD"/dist/Grooval-*.zip)
if [ ${#made[@]} -eq 0 ]; then
  echo "package: the build made no installer or zip in $GROOVAL_BUILD/dist" >&2
  exit 1
fi
cp "${made[@]}" "$root/dist/"
for f in "${made[@]}"; do echo "package: dist/$(basename "$f")"; done
