#!/usr/bin/env bash
# The run command: installs what is missing, builds, brings up Wine, a sound server and a
# display when none is there, and starts Grooval. Arguments go to the program (a sample rate).
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

"$root/scripts/setup.sh"
bench_up --build --system-audio
echo "run: Grooval on display $DISPLAY"
cd "$GROOVAL_BUILD/app"
wine ./grooval.exe "$@"
