#!/usr/bin/env bash
# Plays WAV files into the turntable sink for tests running under Wine.
# A test writes NAME.req holding a Unix path (and optionally a sink name on the second line);
# this loop plays it with paplay and then writes NAME.done holding paplay's exit code.
set -u
dir=$1
shopt -s nullglob
while true; do
  for req in "$dir"/*.req; do
    name=${req%.req}
    mv "$req" "$name.playing" 2>/dev/null || continue
    { read -r wav; read -r sink || true; } <"$name.playing"
    wav=${wav%$'\r'}; sink=${sink%$'\r'}
    paplay --device="${sink:-turntable}" "$wav" >>"$dir/../player.log" 2>&1
    echo $? >"$name.tmp" && mv "$name.tmp" "$name.done"
    rm -f "$name.playing"
  done
  sleep 0.02
done
