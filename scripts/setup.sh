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
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386   # a 32-bit program needs wine32
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
