#!/usr/bin/env bash
# Installs what building and testing Grooval needs on Debian 12. Quick when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine32:i386 fonts-wine
  xvfb xdotool x11-utils imagemagick
  pulseaudio pulseaudio-utils sox
  googletest python3 procps
  fp-utils nsis libchm-bin   # chmcmd, makensis, extract_chmLib: the help file and installer
  dpkg-dev autoconf automake libtool nasm gettext  # libFLAC and LAME from Debian sources (scripts/codecs.sh;
                                                   # LAME's configure.in uses gettext's AM_ICONV)
  flac lame mpg123 python3-mutagen  # the tests read grooval-split's FLAC and MP3 tracks back
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386   # a 32-bit program needs wine32
  need_update=1
fi

# grooval-split's FLAC and MP3 encoders are built from Debian's source packages
# (scripts/codecs.sh): a deb-src entry for each of the machine's own deb entries, unless it
# has some already.
apt_dir=/etc/apt
src_entries=$apt_dir/sources.list.d/grooval-deb-src
shopt -s nullglob
sources=("$apt_dir"/sources.list.d/*.sources)
lists=("$apt_dir"/sources.list.d/*.list)
[ -f "$apt_dir/sources.list" ] && lists+=("$apt_dir/sources.list")
shopt -u nullglob
if ! cat /dev/null "${sources[@]}" | grep -qE '^Types:.*\bdeb-src\b' &&
   ! cat /dev/null "${lists[@]}" | grep -qE '^[[:space:]]*deb-src[[:space:]]'; then
  # deb822 stanzas whose Types hold "deb", with Types: deb-src; one-line entries likewise.
  stanzas=$(cat /dev/null "${sources[@]}" | awk -v RS= -v ORS='\n\n' '
    /(^|\n)Types:[^\n]*[[:space:]]deb([[:space:]\n]|$)/ {
      sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }')
  lines=$(cat /dev/null "${lists[@]}" | awk '$1 == "deb" { $1 = "deb-src"; print }')
  [ -n "$stanzas" ] && printf '%s\n' "$stanzas" | "${sudo_cmd[@]}" tee "$src_entries.sources" >/dev/null
  [ -n "$lines" ] && printf '%s\n' "$lines" | "${sudo_cmd[@]}" tee "$src_entries.list" >/dev/null
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  need_update=1
fi
if [ $need_update -eq 1 ]; then
  "${sudo_cmd[@]}" apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
