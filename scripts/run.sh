#!/usr/bin/env bash
# Sets up, builds, makes the show (build/show/dask243.dat) and plays it. Extra arguments go to
# qor-player.
#   With a display: the show plays in a window, with its music.
#   Without one: the whole show is captured, with its music, to build/show/dask243.mp4 (progress
#   on the terminal), and the script says where the file is. QOR_VIDEO names another file.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j "${QOR_JOBS:-$(nproc)}" qor-player qor_cJpegFileDLL qor_show_content

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  # Absolute, so that the message below names it whole.
  video=$(realpath -m "${QOR_VIDEO:-build/show/dask243.mp4}")
  echo "run: no display: capturing the show with its music to $video"
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} \
    build/bin/qor-player --dir build/show --no-dialogs --capture "$video" "$@"
  echo "run: the show is in $video"
else
  exec build/bin/qor-player --dir build/show "$@"
fi
