#!/usr/bin/env bash
# Sets up, builds and runs the player on the show folder. Extra arguments go to qor-player.
# Without a display the player runs headless (SDL's offscreen driver) for 300 frames.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j "${QOR_JOBS:-$(nproc)}" qor-player qor_cJpegFileDLL

args=("$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  echo "run: no display, running headless for 300 frames"
  export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
  args=(--frames 300 --no-dialogs "${args[@]}")
fi
exec build/bin/qor-player --dir show "${args[@]}"
