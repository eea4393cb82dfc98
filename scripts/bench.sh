#!/usr/bin/env bash
# The test bench: a 32-bit Wine prefix, a PulseAudio server with the null sink "turntable"
# (its monitor is the default recording source), a display, and a player that plays WAV files
# into the turntable on request of a test exe.
#
#   bench.sh up DIR [--system-audio]   prepare DIR and start what is missing; writes DIR/env
#   bench.sh down DIR                  stop only what "up" started
#
# Everything lives in DIR (normally <build>/bench), so two build trees never share a sound
# server, a display or a prefix. --system-audio keeps a sound server that is already reachable
# (the run command uses it; the tests always want their own turntable).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# shellcheck source=scripts/wait-until.sh
source "$here/wait-until.sh"

bench_env() {
  local dir=$1
  export WINEPREFIX=$dir/wineprefix WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="   # no Mono or Gecko install prompts
  export XDG_RUNTIME_DIR=$dir/run
  export PULSE_RUNTIME_PATH=$dir/run/pulse
  export GROOVAL_BENCH=$dir
}

start_pulse() {
  local dir=$1
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_SERVER=unix:$PULSE_RUNTIME_PATH/native
  if pactl info >/dev/null 2>&1; then return 0; fi
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=turntable" \
    --log-target=file:"$dir/pulseaudio.log" 2>>"$dir/pulseaudio.log"
  wait_until 10 pactl info || { echo "bench: PulseAudio did not start (see $dir/pulseaudio.log)" >&2; return 1; }
  pactl set-default-sink turntable
  pactl set-default-source turntable.monitor
  touch "$dir/pulse.started"
}

start_display() {
  local dir=$1 n
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  if [ -f "$dir/xvfb.display" ] && [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null &&
     DISPLAY=$(cat "$dir/xvfb.display") xdpyinfo >/dev/null 2>&1; then
    export DISPLAY=$(cat "$dir/xvfb.display"); return 0
  fi
  # Xvfb picks a free number itself and reports it: a number judged free by lock files may
  # still answer through another tree's (or a chroot's host's) abstract socket.
  rm -f "$dir/xvfb.number"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/xvfb.number" >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  wait_until 10 test -s "$dir/xvfb.number" || { echo "bench: Xvfb did not start (see $dir/xvfb.log)" >&2; return 1; }
  n=$(head -n 1 "$dir/xvfb.number")
  export DISPLAY=":$n"
  wait_until 10 xdpyinfo || { echo "bench: Xvfb on $DISPLAY does not answer (see $dir/xvfb.log)" >&2; return 1; }
  echo "$DISPLAY" >"$dir/xvfb.display"
}

prepare_prefix() {
  local dir=$1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$dir/wineboot.log" 2>&1
    wineserver -w
  fi
  wineserver -p 2>/dev/null || true   # kept alive so each test exe starts quickly
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # No post-mortem debugger: an unhandled exception ends the process with its exception code
  # and nothing else runs. An empty command starts none; without the value Wine would start
  # winedbg --auto, and with Auto 0 it would ask in a message box.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f >/dev/null 2>&1
  # Without a window manager, closing a managed top-level window waits about 2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

start_player() {
  local dir=$1
  mkdir -p "$dir/play"
  if [ -f "$dir/player.pid" ] && kill -0 "$(cat "$dir/player.pid")" 2>/dev/null; then return 0; fi
  nohup "$here/bench-player.sh" "$dir/play" >"$dir/player.log" 2>&1 &
  echo $! >"$dir/player.pid"
}

write_env() {
  local dir=$1
  {
    for v in WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES XDG_RUNTIME_DIR PULSE_RUNTIME_PATH PULSE_SERVER DISPLAY GROOVAL_BENCH; do
      [ -n "${!v:-}" ] && printf 'export %s=%q\n' "$v" "${!v}"
    done
  } >"$dir/env"
}

bench_up() {
  local dir system_audio=0
  dir=$(mkdir -p "$1" && cd "$1" && pwd)
  [ "${2:-}" = "--system-audio" ] && system_audio=1
  local keep_pulse=${PULSE_SERVER:-}
  bench_env "$dir"
  if [ $system_audio -eq 1 ] && env ${keep_pulse:+PULSE_SERVER=$keep_pulse} XDG_RUNTIME_DIR=/run/user/$(id -u) pactl info >/dev/null 2>&1; then
    [ -n "$keep_pulse" ] && export PULSE_SERVER=$keep_pulse || export XDG_RUNTIME_DIR=/run/user/$(id -u)
  else
    start_pulse "$dir"
  fi
  start_display "$dir"
  prepare_prefix "$dir"
  start_player "$dir"
  write_env "$dir"
}

bench_down() {
  local dir=$1
  [ -f "$dir/env" ] || return 0
  # shellcheck disable=SC1091
  source "$dir/env"
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$dir/player.pid" ]; then kill "$(cat "$dir/player.pid")" 2>/dev/null || true; rm -f "$dir/player.pid"; fi
  if [ -f "$dir/pulse.started" ]; then pactl exit >/dev/null 2>&1 || true; rm -f "$dir/pulse.started"; fi
  if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true; rm -f "$dir/xvfb.pid" "$dir/xvfb.display" "$dir/xvfb.number"; fi
  rm -f "$dir/env"
}

case "${1:-}" in
  up) shift; bench_up "$@" ;;
  down) shift; bench_down "$@" ;;
  *) echo "usage: bench.sh up|down DIR [--system-audio]" >&2; exit 2 ;;
esac
