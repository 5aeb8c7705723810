#!/usr/bin/env bash
# Makes a PNG contact sheet of the show: one frame of each entry of the screen table, captured headless
# with --seek and laid out by qor-contact-sheet. Needs the built show (./scripts/run.sh, or
# ninja -C build qor_show_content qor-player qor-contact-sheet).
#   scripts/contact-sheet.sh [OUT.png]      (default build/show/contact-sheet.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/show/contact-sheet.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# One frame of each entry of the screen table, at these music times (seconds): intro, title,
# interlude one, black, chapter five, interlude two, black, chapter seven, interlude three,
# chapter six, interlude four, black, chapter four, end scroll, the end. A seek replays the show
# from its start, so each is the very frame a run from the start shows at that time.
times=(27 36 50 58.5 85 119 127.2 150 170 195 218 226.5 250 290 307)
for t in "${times[@]}"; do
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy build/bin/qor-player --dir build/show --no-dialogs \
    --fps 30 --seek "$t" --frames 1 --quiet --capture "$tmp/f_%05d.png"
  mv "$tmp"/f_*.png "$tmp/s_$(printf %06.2f "$t").png"
done
build/bin/qor-contact-sheet "$out" --columns 5 --width 240 "$tmp"/s_*.png
echo "contact-sheet: $out"
