#!/usr/bin/env bash
# Builds the two encoders grooval-split links, libFLAC and LAME, from Debian's source packages
# with the MinGW-w64 i686 cross compiler: static libraries of the encoding parts only (no
# programs, docs, tests, decoder or Ogg), installed into DIR/prefix (include/, lib/).
#
#   codecs.sh DIR        (the build runs it as DIR = <build>/codecs)
#
# The sources come from `apt-get source` at the versions pinned below (scripts/setup.sh adds the
# deb-src entry) and stay in DIR/sources, so a second build fetches nothing; a build whose stamp
# matches this script is kept as it is. Each step's output goes to DIR/log/<package>.log.
set -euo pipefail

# Pinned: the versions Debian 12 offered when these were chosen. When Debian replaces one (a
# point or security release), `apt-cache showsrc NAME` shows the new version to pin here.
flac_version=1.4.2+ds-2
lame_version=3.100-6

host=i686-w64-mingw32
export CC=$host-gcc-posix AR=$host-ar RANLIB=$host-ranlib
# Release code without debug info; the libraries' own configure adds its optimisation flags.
export CFLAGS="-O2 -g0"
jobs=$(nproc)

dir=$(mkdir -p "$1" && cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$dir/prefix
stamp=$prefix/stamp
recipe="$(sha256sum "$here/codecs.sh" | cut -d' ' -f1) $flac_version $lame_version"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ] &&
   [ -f "$prefix/lib/libFLAC.a" ] && [ -f "$prefix/lib/libmp3lame.a" ]; then
  touch "$prefix/lib/libFLAC.a" "$prefix/lib/libmp3lame.a"  # newer than this script, for ninja
  exit 0
fi

mkdir -p "$dir/sources" "$dir/log"
rm -rf "$prefix" "$dir/work"
mkdir -p "$prefix/include" "$prefix/lib" "$dir/work"

# step PACKAGE DESCRIPTION COMMAND...: runs the command into the package's log; on failure shows
# the end of the log and stops.
step() {
  local package=$1 what=$2; shift 2
  echo "== $what" >>"$dir/log/$package.log"
  if ! "$@" >>"$dir/log/$package.log" 2>&1; then
    echo "codecs: $package: $what failed; the end of $dir/log/$package.log:" >&2
    tail -n 30 "$dir/log/$package.log" >&2
    exit 1
  fi
}

# fetch_and_unpack PACKAGE VERSION: the unpacked, patched source in DIR/work/PACKAGE.
fetch_and_unpack() {
  local package=$1 version=$2
  local dsc=$dir/sources/${package}_${version#*:}.dsc
  : >"$dir/log/$package.log"
  if [ ! -f "$dsc" ]; then
    echo "codecs: fetching the $package $version source package"
    if ! (cd "$dir/sources" && apt-get source -q --download-only "$package=$version") \
        >>"$dir/log/$package.log" 2>&1; then
      echo "codecs: apt-get source $package=$version failed (see $dir/log/$package.log)." >&2
      echo "  Is there a deb-src entry (scripts/setup.sh adds one)? Does Debian still offer" >&2
      echo "  $version (apt-cache showsrc $package)? If not, pin the new one in $0." >&2
      exit 1
    fi
  fi
  step "$package" "unpacking $(basename "$dsc")" \
    dpkg-source --no-check -x "$dsc" "$dir/work/$package"
}

echo "codecs: building libFLAC $flac_version and LAME $lame_version for $host (log in $dir/log)"

fetch_and_unpack flac "$flac_version"
cd "$dir/work/flac"
# Stack protection and fortified sources would need MinGW's libssp; the x86 intrinsics stay
# (libFLAC chooses them by the processor at run time).
step flac configure ./configure --host=$host --disable-shared --enable-static \
  --disable-ogg --disable-cpplibs --disable-programs --disable-examples \
  --disable-doxygen-docs --disable-stack-smash-protection --disable-fortify-source \
  --disable-rpath --disable-dependency-tracking --disable-version-from-git
step flac "make libFLAC" make -C src/libFLAC -j"$jobs" libFLAC.la
mkdir -p "$prefix/include/FLAC"
cp include/FLAC/*.h "$prefix/include/FLAC/"
cp src/libFLAC/.libs/libFLAC.a "$prefix/lib/"

fetch_and_unpack lame "$lame_version"
cd "$dir/work/lame"
# As Debian builds it for i386: its patches change configure.in and Makefile.am, so autoreconf;
# nasm for the assembler routines LAME picks by the processor at run time.
step lame autoreconf autoreconf -fi
step lame configure ./configure --host=$host --disable-shared --enable-static --enable-nasm \
  --disable-frontend --disable-decoder --disable-analyzer-hooks --disable-gtktest \
  --disable-rpath --disable-dependency-tracking
step lame "make libmp3lame" make -C libmp3lame -j"$jobs"
mkdir -p "$prefix/include/lame"
cp include/lame.h "$prefix/include/lame/"
cp libmp3lame/.libs/libmp3lame.a "$prefix/lib/"

rm -rf "$dir/work"  # the libraries are in the prefix; the sources stay in DIR/sources
echo "$recipe" >"$stamp"
echo "codecs: done"
