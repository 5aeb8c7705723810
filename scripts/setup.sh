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

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
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
