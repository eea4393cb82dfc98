#!/usr/bin/env bash
# Soak run of the capture back-ends: a frame-counter signal of MINUTES is played into the
# turntable while the soak program captures it through each back-end into an armed engine, with
# both cores kept busy by two busy loops of another process. The program reports blocks lost or
# repeated (must be 0) and the CPU time of the capture process per minute of audio.
#
#   scripts/capture-soak.sh [MINUTES [BACK-ENDS]]    defaults: 10 "wavein dsound"
#   SOAK_LOAD=0 scripts/capture-soak.sh ...           the same without the busy loops
#
# Uses the bench of ${GROOVAL_BUILD:-<repo>/build}; the reports go to <bench>/soak/*.log.
set -euo pipefail
# shellcheck source=scripts/on-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/on-bench.sh"

minutes=${1:-10}
backends=${2:-"wavein dsound"}
seconds=$((minutes * 60))

"$root/scripts/setup.sh"
bench_up --build
load_pids=()
stop_load() {
  for pid in "${load_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$bench/soak/signal.wav"
}
bench_on_exit stop_load

exe=$GROOVAL_BUILD/tests/capture/capture_soak.exe
soak=$bench/soak
mkdir -p "$soak"
echo "soak: writing a ${minutes}-minute counter signal"
wine "$exe" write "$soak/signal.wav" "$seconds"

# The load: one busy loop per core, at normal priority, in processes of their own.
if [ "${SOAK_LOAD:-1}" != 0 ]; then
  for _ in $(seq "$(nproc)"); do
    bash -c 'while :; do :; done' &
    load_pids+=($!)
  done
fi
echo "soak: ${#load_pids[@]} busy loops running"

status=0
for backend in $backends; do
  log=$soak/$backend.log
  ready=$soak/$backend.ready
  rm -f "$ready"
  wine "$exe" run "$backend" "$seconds" "Z:${ready//\//\\}" >"$log" 2>&1 &
  soak_pid=$!
  for _ in $(seq 600); do
    [ -e "$ready" ] || ! kill -0 "$soak_pid" 2>/dev/null && break
    sleep 0.1
  done
  if [ ! -e "$ready" ]; then
    echo "soak: $backend did not start capturing" >&2
    kill "$soak_pid" 2>/dev/null || true
    cat "$log" >&2
    status=1
    continue
  fi
  echo "soak: playing ${minutes} minutes through $backend"
  paplay --device=turntable "$soak/signal.wav"
  wait "$soak_pid" || status=1
  cat "$log"
done
exit $status
