#!/usr/bin/env bash
# Makes a PNG contact sheet of the show: one frame of each of a few screens, captured headless
# with --seek and laid out by qor-contact-sheet. Needs the built show (./scripts/run.sh, or
# ninja -C build qor_show_content qor-player qor-contact-sheet).
#   scripts/contact-sheet.sh [OUT.png]      (default build/show/contact-sheet.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/show/contact-sheet.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Music times (seconds): intro, title, interlude, chapters five, seven, six, four, end scroll.
times=(27 36 50 85 160 195 250 290)
for t in "${times[@]}"; do
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy build/bin/qor-player --dir build/show --no-dialogs \
    --fps 30 --seek "$t" --frames 1 --quiet --capture "$tmp/f_%05d.png"
  mv "$tmp/f_00000.png" "$tmp/s_$(printf %06.2f "$t").png"
done
build/bin/qor-contact-sheet "$out" --columns 4 --width 240 "$tmp"/s_*.png
echo "contact-sheet: $out"
