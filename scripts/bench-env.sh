# Sourced by the scripts that run on the bench: `source bench-env.sh BENCH_DIR` takes the
# bench's environment (Wine prefix, sound server, display) and wait_until, or ends the caller
# with 2 when the bench is not up.
if [ ! -f "$1/env" ]; then
  echo "${0##*/}: no bench in $1 (scripts/bench.sh up $1)" >&2
  exit 2
fi
# shellcheck disable=SC1091
source "$1/env"
# shellcheck source=scripts/wait-until.sh
source "$(dirname "${BASH_SOURCE[0]}")/wait-until.sh"
