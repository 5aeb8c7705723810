#!/usr/bin/env bash
# Installs the Debian packages the engine, its tools and its tests need, when missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libsdl2-dev libepoxy-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  liblzo2-dev libjpeg62-turbo-dev libmpg123-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev nlohmann-json3-dev libmp3lame-dev ffmpeg
  libassimp-dev assimp-testmodels libstb-dev libfreetype-dev fonts-dejavu-core parallel
)

# --web: also the web build's compiler, its browser for the tests, and a source entry for the
# libraries it builds from Debian's sources (scripts/web-libs.sh).
web=0
if [ "${1:-}" = --web ]; then
  web=1
  packages+=(emscripten binaryen node-acorn node-xtend chromium dpkg-dev python3)
fi
src_list=/etc/apt/sources.list.d/qor-debian-src.sources
need_src=0
if [ "$web" = 1 ] && ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  need_src=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ "$need_src" = 0 ]; then
  exit 0
fi
if [ "$need_src" = 1 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: not root; add a deb-src entry for Debian bookworm main and run apt-get update" >&2
    exit 1
  fi
  echo "setup: adding $src_list (Debian's source packages, for the web build's libraries)"
  # The sources come from the mirror the machine's own packages come from.
  mirror=$(sed -n 's|^URIs:[[:space:]]*\([^[:space:]]*/debian\)/\{0,1\}[[:space:]]*$|\1|p' \
    /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
  if [ -z "$mirror" ]; then
    mirror=$(sed -n 's|^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]\{1,\}\)\{0,1\}\([^[:space:]]*/debian\)/\{0,1\}[[:space:]].*|\2|p' \
      /etc/apt/sources.list 2>/dev/null | head -1)
  fi
  printf '%s\n' 'Types: deb-src' "URIs: ${mirror:-http://deb.debian.org/debian}" 'Suites: bookworm' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$src_list"
  apt-get update -qq
  [ ${#missing[@]} -eq 0 ] && exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: not root; run this first:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
