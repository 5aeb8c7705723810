#!/usr/bin/env bash
# Builds the libraries the player links (zlib, libpng, libjpeg-turbo, lzo2, mpg123, SDL2) for
# WebAssembly from Debian's source packages, static, into a prefix cached outside the build
# folder, and prints the prefix on its last line. The prefix is named by a hash of the source
# versions, the compiler's version and the recipe's version, so it is reused while they stay
# the same and a new one is built when any of them changes. Nothing is fetched but Debian's sources.
#   QOR_WEB_CACHE   the cache folder (default ${XDG_CACHE_HOME:-$HOME/.cache}/qor-web)
#   QOR_JOBS        parallel jobs (default 2)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jobs=${QOR_JOBS:-2}
cache=${QOR_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qor-web}
sources=(zlib libpng1.6 libjpeg-turbo lzo2 mpg123 libsdl2)

export NODE_PATH=/usr/share/nodejs
# Configure checks run their test programs under node; node 20 refuses the flag emcmake would
# pass, and its own fetch breaks Emscripten's file loading.
emulator="/usr/bin/node;--no-experimental-fetch"

say() { echo "web-libs: $*" >&2; }

if ! command -v emcc >/dev/null; then
  say "emcc not found: run ./scripts/setup.sh --web first"
  exit 1
fi

versions=$(emcc --version 2>/dev/null | head -1)
for s in "${sources[@]}"; do
  v=$(apt-cache showsrc --only-source "$s" 2>/dev/null | awk '/^Version:/ { print $2; exit }')
  if [ -z "$v" ]; then
    say "no source package $s known to apt: add a deb-src entry (./scripts/setup.sh --web) and apt-get update"
    exit 1
  fi
  versions+=" $s=$v"
done
# The recipe's own version: raised whenever a change below alters what is built.
recipe=1
hash=$(echo "$versions recipe=$recipe" | sha256sum | cut -c1-16)
prefix=$cache/$hash
if [ -f "$prefix/.complete" ]; then
  say "libraries cached in $prefix"
  echo "$prefix"
  exit 0
fi

say "building $versions"
say "into $prefix"
work=$cache/work-$hash
rm -rf "$work" "$prefix"
mkdir -p "$work/src" "$prefix/include" "$prefix/lib"
cd "$work" # nothing a build installs by mistake lands in the caller's folder

# Unpacks one source package into $work/src/NAME and prints that folder.
unpack() {
  local name=$1 dir=$work/src/$1
  mkdir -p "$dir.dl"
  # apt-get source can report a missing signature file for a package whose tarball did arrive;
  # what matters is the .dsc and its files, which dpkg-source checks by their checksums.
  (cd "$dir.dl" && apt-get source --download-only -qq "$name" >/dev/null 2>&1) || true
  local dsc
  dsc=$(ls "$dir.dl"/*.dsc 2>/dev/null | head -1 || true)
  if [ -z "$dsc" ]; then
    say "apt-get source $name downloaded nothing"
    exit 1
  fi
  (cd "$dir.dl" && dpkg-source --no-check -x "$(basename "$dsc")" "$dir" >/dev/null)
  echo "$dir"
}

cmake_lib() {
  local src=$1 bld=$2
  shift 2
  emcmake cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" "$@" >"$bld.log" 2>&1 ||
    { tail -30 "$bld.log" >&2; exit 1; }
  ninja -C "$bld" -j "$jobs" install >>"$bld.log" 2>&1 || { tail -30 "$bld.log" >&2; exit 1; }
}

t0=$SECONDS

# zlib: its CMake project is broken in Debian's source (a removed .rc file); its own configure
# works.
src=$(unpack zlib)
(cd "$src" && emconfigure ./configure --static --prefix="$prefix" >"$work/zlib.log" 2>&1 &&
  emmake make -j "$jobs" libz.a >>"$work/zlib.log" 2>&1) || { tail -30 "$work/zlib.log" >&2; exit 1; }
cp "$src/libz.a" "$prefix/lib/"
cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
say "zlib done ($((SECONDS - t0)) s)"

src=$(unpack libpng1.6)
cmake_lib "$src" "$work/png" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
say "libpng done ($((SECONDS - t0)) s)"

src=$(unpack libjpeg-turbo)
# (Its install folders are taken as they are given: absolute.)
cmake_lib "$src" "$work/jpeg" -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include"
say "libjpeg-turbo done ($((SECONDS - t0)) s)"

# lzo2: its configure takes minutes under node; its library is plain C that needs no
# configuration, so one compiler call builds it.
src=$(unpack lzo2)
mkdir -p "$work/lzo"
(cd "$work/lzo" && emcc -O2 -c -I"$src/include" -I"$src" "$src"/src/*.c >"$work/lzo.log" 2>&1 &&
  emar rcs "$prefix/lib/liblzo2.a" ./*.o) || { tail -30 "$work/lzo.log" >&2; exit 1; }
mkdir -p "$prefix/include/lzo"
cp "$src"/include/lzo/*.h "$prefix/include/lzo/"
say "lzo2 done ($((SECONDS - t0)) s)"

# mpg123's CMake project calls check_type_size before including the module that defines it.
src=$(unpack mpg123)
echo 'include(CheckTypeSize)' >"$work/mpg123-pre.cmake"
cmake_lib "$src/ports/cmake" "$work/mpg123" -DCMAKE_PROJECT_INCLUDE="$work/mpg123-pre.cmake" \
  -DBUILD_LIBOUT123=OFF -DBUILD_PROGRAMS=OFF -DNETWORK=OFF -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include
say "mpg123 done ($((SECONDS - t0)) s)"

src=$(unpack libsdl2)
cmake_lib "$src" "$work/sdl2" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF \
  -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include
say "SDL2 done ($((SECONDS - t0)) s)"

echo "$versions" >"$prefix/VERSIONS"
touch "$prefix/.complete"
rm -rf "$work"
say "built in $((SECONDS - t0)) s"
echo "$prefix"
