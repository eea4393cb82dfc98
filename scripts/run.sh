#!/usr/bin/env bash
# The run command: installs what is missing, builds, brings up Wine, a sound server and a
# display when none is there, and starts Grooval. Arguments go to the program (a sample rate).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export GROOVAL_BUILD=${GROOVAL_BUILD:-$root/build}
bench=$GROOVAL_BUILD/bench

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
"$root/scripts/bench.sh" up "$bench" --system-audio
trap '"$root/scripts/bench.sh" down "$bench"' EXIT
# shellcheck disable=SC1091
source "$bench/env"
echo "run: Grooval on display $DISPLAY"
cd "$GROOVAL_BUILD/app"
wine ./grooval.exe "$@"
