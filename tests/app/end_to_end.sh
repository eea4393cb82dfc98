#!/usr/bin/env bash
# Grooval end to end, as a user: starts grooval.exe under Wine on the bench display with the
# turntable as its sound card and a fresh settings key, presses its buttons with the keyboard,
# plays a side of several songs separated by silences into the turntable, and checks the track
# files, the stored settings and the mixer log.
#
#   end_to_end.sh GROOVAL_EXE BENCH_DIR SCENARIO
#
# Scenarios: plain, live, adpcm, shift-stop (Shift+Stop in the middle of a song),
# close-recording (closing the window in the middle of a song), language (a new interface
# language from the Options dialog).
set -euo pipefail

exe=$1
bench=$2
scenario=$3

# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/bench-env.sh" "$bench"

work=$bench/scratch/e2e-$scenario
rm -rf "$work"
mkdir -p "$work/tracks"
tracks_win="Z:${work//\//\\}\\tracks"
key='HKCU\Software\Quellbrook Software\Grooval\Settings'
prefix=side
rate=44100
block=5880          # frames in one capture block
gap=7               # "Duration": a track ends after gap + 1 silent blocks
discard=16          # "Discard": tracks shorter than 16 blocks are deleted
app_pid=

fail() {
  echo "FAIL ($scenario): $*" >&2
  exit 1
}

cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null || true
  fi
  wine reg delete "$key" /f >/dev/null 2>&1 || true
}
trap cleanup EXIT

# ---- The side: songs (440 Hz at half scale) between silences, all lengths in frames ----

# The format options come before -n so the generated input has them: no resampling.
tone() {  # tone FILE FRAMES
  sox -r $rate -c 2 -b 16 -e signed-integer -n "$1" synth "${2}s" sine 440 vol 0.5
}
silence() {  # silence FILE FRAMES
  sox -r $rate -c 2 -b 16 -e signed-integer -n "$1" trim 0 "${2}s"
}

songs=(132300 26460 110250 220500)  # 3.0 s, 0.6 s (shorter than the minimum), 2.5 s, 5.0 s
pause=88200                         # 2.0 s between songs: more than gap + 1 blocks
lead=44100
parts=()
silence "$work/lead.wav" $lead && parts+=("$work/lead.wav")
for i in "${!songs[@]}"; do
  tone "$work/song$i.wav" "${songs[$i]}" && parts+=("$work/song$i.wav")
  silence "$work/pause$i.wav" $pause && parts+=("$work/pause$i.wav")
done
sox "${parts[@]}" "$work/side.wav"

# ---- Fresh settings: the folder and prefix the user wants, short gaps for a quick test ----

wine reg delete "$key" /f >/dev/null 2>&1 || true
reg_add() { wine reg add "$key" "$@" /f >/dev/null; }
reg_add /v directory /t REG_SZ /d "$tracks_win"
reg_add /v prefix /t REG_SZ /d "$prefix"
reg_add /v Duration /t REG_DWORD /d $gap
reg_add /v Discard /t REG_DWORD /d $discard
reg_add /v Language /t REG_DWORD /d 9
# waveIn: one block per delivery, so the block arithmetic below holds exactly.
reg_add /v NoDirectSound /t REG_DWORD /d 1
live=0
case $scenario in
  live) live=1; reg_add /v LiveMode /t REG_DWORD /d 1 ;;
  adpcm)
    # IMA ADPCM, 44100 Hz stereo, 4 bits, 2048-byte blocks of 2041 frames.
    reg_add /v OutputFormat /t REG_BINARY /d 1100020044AC0000DBAC0000000804000200F907 ;;
esac
rm -f "$WINEPREFIX/drive_c/grooval.mix"

# ---- The program ----

start_app() {
  wine "$exe" >"$work/grooval.log" 2>&1 &
  app_pid=$!
}

# The main window of the given caption, focused for the keyboard.
# xdotool's search fails when a window goes away while it walks the tree: search again.
focus_window() {  # focus_window CAPTION
  local window= deadline=$((SECONDS + 30))
  while [ -z "$window" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || window=
    [ -n "$window" ] || sleep 0.1
  done
  xdotool windowfocus --sync "$window"
  echo "$window"
}

wait_for_exit() {
  local deadline=$((SECONDS + 60))
  while kill -0 "$app_pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
  app_pid=
}

# A track file is finished when its RIFF size covers the whole file.
is_finished() {  # is_finished FILE
  local size riff
  size=$(stat -c %s "$1")
  riff=$(od -An -tu4 -j4 -N4 "$1" | tr -d ' ')
  [ "$size" -ge 44 ] && [ "$riff" -eq $((size - 8)) ]
}

finished_count() {
  local n=0 f
  for f in "$work"/tracks/*.wav; do
    [ -e "$f" ] && is_finished "$f" && n=$((n + 1))
  done
  echo $n
}

have_finished() { [ "$(finished_count)" -ge "$1" ]; }

track() { printf '%s/tracks/%s%04d.wav' "$work" "$prefix" "$1"; }

frames_of() { soxi -s "$1"; }

# check_length FILE SONG_FRAMES TRAILING_BLOCKS [SLACK_FRAMES]: the track holds the held block
# before the song, every block the song touches, and the trailing silent blocks. The sound
# server may drop part of a block on a loaded machine: one block less is tolerated.
check_length() {
  local file=$1 song=$2 trailing=$3 slack=${4:-0} frames low high
  frames=$(frames_of "$file")
  low=$((song + trailing * block - slack))
  high=$((song + (3 + trailing) * block + slack))
  [ "$frames" -ge "$low" ] && [ "$frames" -le "$high" ] ||
    fail "$(basename "$file") has $frames frames, expected $low to $high"
}

check_valid() {  # check_valid FILE ENCODING
  [ "$(soxi -t "$1")" = wav ] || fail "$1 is not RIFF WAVE"
  [ "$(soxi -r "$1")" = $rate ] || fail "$1: rate $(soxi -r "$1")"
  [ "$(soxi -c "$1")" = 2 ] || fail "$1: channels $(soxi -c "$1")"
  soxi -e "$1" | grep -q "$2" || fail "$1: encoding $(soxi -e "$1"), expected $2"
  sox "$1" -n stat >/dev/null 2>&1 || fail "sox cannot read $1"
}

check_registry() {
  local dump
  dump=$(wine reg query "$key")
  grep -q "prefix *REG_SZ *$prefix" <<<"$dump" || fail "prefix not stored: $dump"
  grep -qF "$tracks_win" <<<"$dump" || fail "folder not stored: $dump"
  grep -q "Duration *REG_DWORD *0x$gap" <<<"$dump" || fail "Duration not stored: $dump"
  grep -q "Discard *REG_DWORD *0x$(printf %x $discard)" <<<"$dump" || fail "Discard not stored: $dump"
  grep -q "LiveMode *REG_DWORD *0x$live" <<<"$dump" || fail "LiveMode not stored: $dump"
  grep -q "source *REG_SZ" <<<"$dump" || fail "source not stored: $dump"
  if [ "$scenario" = adpcm ]; then
    grep -q "OutputFormat *REG_BINARY *11000200" <<<"$dump" || fail "format not stored: $dump"
  else
    grep -q "OutputFormat *REG_BINARY *0100020044AC000010B10200040010000000" <<<"$dump" ||
      fail "format not stored: $dump"
  fi
}

count_tracks() { find "$work/tracks" -name '*.wav' | wc -l; }

# The sound-card message means capture did not start: a fault to report, not to press away.
no_capture_failure() {
  local box
  box=$(xdotool search --onlyvisible --name '^Grooval$' 2>/dev/null | head -1) || box=
  [ -z "$box" ] || fail "capture did not start: the sound-card message is showing"
}

press_start() {
  no_capture_failure
  xdotool key space
}

caption="Grooval by Quellbrook Software Ltd."
start_app
window=$(focus_window "$caption") || fail "the main window did not open"
sleep 1  # let capture hear some silence first, as a user would

case $scenario in
  plain|live|adpcm)
    press_start                                   # the focused default button
    paplay --device=turntable "$work/side.wav"
    wait_until 20 have_finished 3 || fail "only $(finished_count) finished tracks"
    xdotool key space                             # Stop
    xdotool key alt+c                             # Close
    wait_for_exit || fail "the program did not end"

    [ "$(count_tracks)" -eq 3 ] || fail "$(count_tracks) track files: $(ls "$work/tracks")"
    encoding="Signed Integer PCM"
    slack=0
    if [ "$scenario" = adpcm ]; then encoding="IMA ADPCM"; slack=2041; fi
    trailing=2
    [ $live -eq 1 ] && trailing=$((gap + 1))
    # The short second song was deleted and its number given to the third.
    check_valid "$(track 1)" "$encoding"; check_length "$(track 1)" "${songs[0]}" $trailing $slack
    check_valid "$(track 2)" "$encoding"; check_length "$(track 2)" "${songs[2]}" $trailing $slack
    check_valid "$(track 3)" "$encoding"; check_length "$(track 3)" "${songs[3]}" $trailing $slack
    check_registry
    ;;

  shift-stop)
    press_start
    paplay --device=turntable "$work/side.wav" &
    player=$!
    wait_until 30 have_finished 2 || fail "the first songs were not recorded"
    wait_until 10 test -e "$(track 3)" || fail "the last song opened no track"
    sleep 2.5  # into the middle of the last song, past the minimum length
    # Shift+Stop: the track ends, recording goes on. Held as a user holds it: the window must
    # have taken the Shift press before the button's.
    xdotool keydown shift
    sleep 0.2
    xdotool key space
    sleep 0.2
    xdotool keyup shift
    wait "$player"
    wait_until 20 have_finished 4 || fail "only $(finished_count) finished tracks"
    xdotool key space
    xdotool key alt+c
    wait_for_exit || fail "the program did not end"

    [ "$(count_tracks)" -eq 4 ] || fail "$(count_tracks) track files: $(ls "$work/tracks")"
    for n in 1 2 3 4; do check_valid "$(track $n)" "Signed Integer PCM"; done
    check_length "$(track 1)" "${songs[0]}" 2
    check_length "$(track 2)" "${songs[2]}" 2
    first=$(frames_of "$(track 3)")
    second=$(frames_of "$(track 4)")
    [ "$first" -ge $((2 * rate)) ] || fail "the part before Shift+Stop has only $first frames"
    [ "$second" -ge $((rate / 2)) ] || fail "the part after Shift+Stop has only $second frames"
    # Together: the song, its held block and trailing silence, nothing lost at the cut.
    total=$((first + second))
    [ $total -ge $((songs[3] + 2 * block)) ] && [ $total -le $((songs[3] + 5 * block)) ] ||
      fail "the two parts hold $total frames for a song of ${songs[3]}"
    ;;

  close-recording)
    press_start
    paplay --device=turntable "$work/side.wav" &
    player=$!
    wait_until 30 have_finished 2 || fail "the first songs were not recorded"
    wait_until 10 test -e "$(track 3)" || fail "the last song opened no track"
    sleep 2.5  # into the middle of the last song, past the minimum length
    xdotool key alt+c                             # Close while the last song is recorded
    wait_for_exit || fail "the program did not end"
    wait "$player"

    [ "$(count_tracks)" -eq 3 ] || fail "$(count_tracks) track files: $(ls "$work/tracks")"
    is_finished "$(track 3)" || fail "the open track was not finished"
    check_valid "$(track 3)" "Signed Integer PCM"
    frames=$(frames_of "$(track 3)")
    # 2.5 s of the song were heard; every block accepted, the delayed ones too, is in the file.
    [ "$frames" -ge $((2 * rate + 3 * block)) ] || fail "the closed track holds only $frames frames"
    check_registry
    ;;

  language)
    no_capture_failure
    xdotool key alt+o                             # Options...
    options=$(focus_window "Options") || fail "no Options dialog"
    # From the sound card list, the first stop, past the three check boxes to the language
    # list ("&Language" shares its letter with "&Live Mode" in English).
    xdotool key Tab Tab Tab Tab
    xdotool key n                                 # Nederlands
    xdotool key Return                            # OK
    # The window is built again, in Dutch, with the settings just saved.
    dutch=$(focus_window "Grooval door Quellbrook Software Ltd.") || fail "no Dutch window"
    window=$dutch
    sleep 1
    no_capture_failure
    wine reg query "$key" /v Language | grep -q "0x13" || fail "Language not stored"
    check_registry
    xdotool key alt+a                             # &Afsluiten
    wait_for_exit || fail "the program did not end"
    wine reg query "$key" /v Language | grep -q "0x13" || fail "Language lost at close"
    ;;

  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

[ -f "$WINEPREFIX/drive_c/grooval.mix" ] || fail "no c:\\grooval.mix"
echo "PASS ($scenario)"
