#!/usr/bin/env bash
# The setup program as a user meets it, under Wine in the bench's prefix: a silent install puts
# the files, the Start-menu shortcuts and the Add/Remove Programs entry in place; Grooval started
# from its shortcut opens its window and finds its help file; the portable zip holds the same
# files; a silent uninstall removes what was installed and leaves a recordings folder and the
# settings alone.
#
#   install_test.sh SETUP_EXE ZIP VERSION BENCH_DIR
set -euo pipefail

setup=$1
zip=$2
version=$3
bench=$4

# shellcheck source=scripts/bench-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/bench-env.sh" "$bench"
# Shortcuts made inside the prefix must not become menu entries of the host.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

work=$bench/scratch/installer
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Grooval'
settings_key='HKCU\Software\Quellbrook Software\Grooval\Settings'
caption="Grooval by Quellbrook Software Ltd."
installed=(grooval.exe grooval-split.exe grooval.chm README.txt LICENSE.txt)
shortcuts=("Grooval.lnk:grooval.exe" "Grooval Help.lnk:grooval.chm" "Uninstall Grooval.lnk:uninstall.exe")
app_pid=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

unix_path() { realpath -m "$(winepath -u "$1" 2>/dev/null)"; }

instdir_win='C:\Program Files\Grooval'
instdir=$(unix_path "$instdir_win")
menu_win="$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' \
  /v 'Common Programs' | sed -n 's/.*REG_SZ *//p' | tr -d '\r')\\Grooval"
menu=$(unix_path "$menu_win")
[ -n "$instdir" ] && [ -n "$menu" ] || fail "no Program Files or Start-menu folder in the prefix"

# Back to a prefix without Grooval, also after a run that stopped half-way.
remove_all() {
  rm -rf "$instdir" "$menu"
  wine reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
  wine reg delete "$settings_key" /f >/dev/null 2>&1 || true
}

cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null || true; fi
  remove_all
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work"
remove_all

# ---- Install ----

wine "$setup" /S || fail "the setup program ended with $?"

for f in "${installed[@]}" uninstall.exe; do
  [ -s "$instdir/$f" ] || fail "$f is not installed"
done
for entry in "${shortcuts[@]}"; do
  link=${entry%%:*} target=${entry#*:}
  [ -f "$menu/$link" ] || fail "no Start-menu shortcut $link"
  grep -qaF "$instdir_win\\$target" "$menu/$link" || fail "$link does not lead to $target"
done

# The zip holds the same files, byte for byte, in a folder of its own.
python3 - "$zip" "Grooval-$version" "$instdir" "${installed[@]}" <<'EOF' || fail "the zip differs from the installation"
import os, sys, zipfile
zip_path, folder, instdir, names = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
with zipfile.ZipFile(zip_path) as z:
    files = {i.filename: i for i in z.infolist() if not i.is_dir()}
    want = {folder + "/" + n for n in names}
    if set(files) != want:
        sys.exit("zip holds %s, expected %s" % (sorted(files), sorted(want)))
    for n in names:
        with open(os.path.join(instdir, n), "rb") as f:
            if z.read(folder + "/" + n) != f.read():
                sys.exit("%s differs" % n)
EOF

# ---- The Add/Remove Programs entry ----

entry=$(wine reg query "$uninstall_key" | tr -d '\r') || fail "no uninstall key"
value() {  # value NAME: the data of a value of the uninstall key
  sed -n "s/^ *$1 *REG_[A-Z_]* *//p" <<<"$entry"
}
[ "$(value DisplayName)" = Grooval ] || fail "DisplayName: $entry"
[ "$(value Publisher)" = "Quellbrook Software Ltd" ] || fail "Publisher: $entry"
[ "$(value DisplayVersion)" = "$version" ] || fail "DisplayVersion is not $version: $entry"
[ "$(value DisplayIcon)" = "$instdir_win\\grooval.exe,0" ] || fail "DisplayIcon: $entry"
[ "$(value QuietUninstallString)" = "\"$instdir_win\\uninstall.exe\" /S" ] ||
  fail "QuietUninstallString: $entry"
size_kb=$(($(value EstimatedSize)))
files_kb=$(($(du -cb "$instdir"/* | tail -1 | cut -f1) / 1024))
[ "$size_kb" -ge $((files_kb * 9 / 10)) ] && [ "$size_kb" -le $((files_kb * 11 / 10 + 8)) ] ||
  fail "EstimatedSize is $size_kb KB for $files_kb KB of files"

# ---- Grooval from its Start-menu shortcut: its window, then Help ----

# The window of CAPTION (a regular expression), once it is shown.
window_of() {
  local window= deadline=$((SECONDS + $2))
  while [ -z "$window" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || window=
    [ -n "$window" ] || sleep 0.1
  done
  echo "$window"
}

# Wine's waveIn now and then fails to start in a fresh process on a loaded machine; its message
# box comes within the first ticks and would take the keys meant for the main window. A user
# presses OK.
dismiss_capture_message() {
  local box
  box=$(window_of '^Grooval$' "$1") || return 0
  echo "note: capture failed to start; OK, as a user would" >&2
  xdotool windowfocus --sync "$box" && xdotool key Return
  wait_until 10 bash -c "! xdotool search --onlyvisible --name '^Grooval\$'"
}

wine start "$menu_win\\Grooval.lnk" || fail "the Grooval shortcut does not start"
main=$(window_of "^$caption\$" 30) || fail "the installed Grooval opened no window"
app_pid=$(xdotool getwindowpid "$main")
[ "$(readlink "/proc/$app_pid/cwd")" = "$instdir" ] ||
  fail "Grooval runs in $(readlink "/proc/$app_pid/cwd"), not its folder"
dismiss_capture_message 2
xdotool windowfocus --sync "$main"
import -window root "$work/installed.png" 2>/dev/null || true

xdotool key alt+h  # Help...
viewer=$(window_of '^Grooval Help$' 30) || fail "Help opened no help window"
viewer_pid=$(xdotool getwindowpid "$viewer")
tr '\0' ' ' <"/proc/$viewer_pid/cmdline" | grep -qiF "$instdir_win\\grooval.chm" ||
  fail "the help window shows $(tr '\0' ' ' <"/proc/$viewer_pid/cmdline")"
xdotool windowfocus --sync "$viewer" && xdotool key alt+F4
wait_until 20 bash -c "! kill -0 $viewer_pid" || fail "the help window does not close"

dismiss_capture_message 0
xdotool windowfocus --sync "$main" && xdotool key alt+c  # Close
wait_until 60 bash -c "! kill -0 $app_pid" || fail "Grooval did not end"
app_pid=
wine reg query "$settings_key" >/dev/null 2>&1 || fail "Grooval saved no settings"

# ---- Uninstall ----

# Recordings a user keeps in the program folder, and the settings, must survive.
mkdir -p "$instdir/Recordings"
sox -r 44100 -c 2 -b 16 -e signed-integer -n "$instdir/Recordings/side0001.wav" synth 0.5 sine 440
before=$(md5sum "$instdir/Recordings/side0001.wav")

# The uninstaller copies itself away and returns at once: wait for its work to show.
wine "$instdir_win\\uninstall.exe" /S || fail "the uninstaller ended with $?"
gone() {
  ! wine reg query "$uninstall_key" >/dev/null 2>&1 && [ ! -e "$instdir/uninstall.exe" ] &&
    [ ! -e "$menu" ]
}
wait_until 60 gone || fail "the uninstaller did not finish"
for f in "${installed[@]}"; do
  [ ! -e "$instdir/$f" ] || fail "$f is still there"
done
[ "$(md5sum "$instdir/Recordings/side0001.wav")" = "$before" ] || fail "the recording was removed or changed"
[ "$(ls -A "$instdir")" = Recordings ] || fail "left in the folder: $(ls -A "$instdir")"
wine reg query "$settings_key" >/dev/null 2>&1 || fail "the uninstaller removed the settings"

echo "PASS: installed, started, found its help, uninstalled ($size_kb KB)"
