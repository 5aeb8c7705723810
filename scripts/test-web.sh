#!/usr/bin/env bash
# The web build in a real browser: builds build-web/ (scripts/web.sh --build), serves it on
# 127.0.0.1, plays the show in Debian's headless Chromium on the fixed-step clock at several
# times and compares each picture with the desktop player's (tests/web/qor_webTest.mjs), and
# checks that a site without its pack says so in the page.
#   QOR_WEB_TIMES  the show times compared, in seconds (default "5 45 100 180 290")
#   QOR_WEB_KEEP   a folder that receives both players' pictures (native_T.png, web_T.png)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/web.sh --build

# The desktop player's pictures of the same frames.
ninja -C build -j "${QOR_JOBS:-2}" qor-player qor_cJpegFileDLL >/dev/null
work=$(mktemp -d)
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "${QOR_WEB_KEEP:-}" ]; then
    mkdir -p "$QOR_WEB_KEEP" && cp "$work"/*.png "$QOR_WEB_KEEP/" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
read -r -a times <<<"${QOR_WEB_TIMES:-5 45 100 180 290}"
for t in "${times[@]}"; do
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy QOR_NO_DIALOGS=1 \
    build/bin/qor-player --dir build/show --no-dialogs --quiet --fps 30 --seek "$t" --frames 1 \
    --capture "$work/n_${t}_%05d.png" >/dev/null
  mv "$work"/n_"${t}"_*.png "$work/native_$t.png"
done

# The site, and a copy of it without its pack.
mkdir -p "$work/broken"
cp -r build-web/index.html build-web/qor-page.js build-web/qor-player.js build-web/qor-player.wasm \
  build-web/show "$work/broken/"
rm "$work/broken/show/dask243.dat"

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
serve() {
  local dir=$1 port=$2
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$dir" >/dev/null 2>&1 &
  servers+=($!)
  for _ in $(seq 50); do
    if python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/index.html')" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "test-web: the server on port $port did not start" >&2
  return 1
}
port=$(free_port)
serve build-web "$port"
broken_port=$(free_port)
serve "$work/broken" "$broken_port"

echo "test-web: Chromium against the desktop player at ${times[*]} s"
QOR_WEB_BROKEN_URL="http://127.0.0.1:$broken_port/" \
  node tests/web/qor_webTest.mjs "http://127.0.0.1:$port/" "$work" "${times[@]}"
