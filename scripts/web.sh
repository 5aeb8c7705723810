#!/usr/bin/env bash
# Builds the show as a web page into build-web/ (the player for WebAssembly and WebGL 2 with
# Debian's Emscripten, the page, the show's files) and serves it on 127.0.0.1, printing the
# address; --build only builds. build-web/ without its obj/ folder is the whole site: any static
# web server can serve it.
#   QOR_WEB_PORT  the port to serve on (default 8642)
#   QOR_JOBS      parallel jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
case "${1:-}" in
  --build) build_only=1 ;;
  "") ;;
  *) echo "usage: scripts/web.sh [--build]" >&2; exit 2 ;;
esac
jobs=${QOR_JOBS:-2}

./scripts/setup.sh --web
prefix=$(./scripts/web-libs.sh | tail -1)

# The show is made by the desktop build's tools.
echo "web: the show (build/show/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j "$jobs" qor_show_content qor-pack >/dev/null

echo "web: the player for WebAssembly (build-web/obj/)"
export NODE_PATH=/usr/share/nodejs
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
emcmake cmake -S . -B build-web/obj -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_WERROR=ON \
  -DQOR_WEB_PREFIX="$prefix" "-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node;--no-experimental-fetch" \
  "${launcher[@]}" >/dev/null
ninja -C build-web/obj -j "$jobs" qor-player

site=build-web
cp web/index.html web/qor-page.js "$site/"
cp build-web/obj/bin/qor-player.js build-web/obj/bin/qor-player.wasm "$site/"
# The show's files as the player reads them from its folder, and their list for the page.
rm -rf "$site/show.new"
mkdir -p "$site/show.new"
python3 - build/show "$site/show.new" build/bin/qor-pack <<'EOF'
import configparser, json, os, shutil, subprocess, sys
src, dst, pack_tool = sys.argv[1:4]
# What the player reads: application.ini, the pack it names, the animation files (".MOT", which
# the scene loader reads from the disk, never from the pack) and the loose files the pack does
# not hold; not the build's own files, logs or captures.
ini = configparser.ConfigParser(strict=False, interpolation=None)
ini.optionxform = str
ini.read(os.path.join(src, 'application.ini'))
pack = ini.get('SHOW', 'PACK', fallback='dask243.dat')
listing = subprocess.run([pack_tool, 'list', os.path.join(src, pack)], check=True, capture_output=True, text=True)
in_pack = {line.split('\t')[0].lower() for line in listing.stdout.splitlines()}
skip_dir = ('CMakeFiles', 'tools')
skip_name = ('cmake_install.cmake', 'CMakeCache.txt', 'Makefile', 'qor_error.txt', 'qor_trace.txt', 'files.json',
             'contact-sheet.png')
skip_ext = ('.mp4', '.mkv', '.mov', '.webm', '.ninja')
entries = []
for root, dirs, files in os.walk(src):
    dirs[:] = sorted(d for d in dirs if not (root == src and d in skip_dir))
    for name in sorted(files):
        path = os.path.join(root, name)
        rel = os.path.relpath(path, src)
        if name in skip_name or name.lower().endswith(skip_ext) or os.path.islink(path) or not os.path.isfile(path):
            continue
        if rel.replace('/', '\\').lower() in in_pack and not name.lower().endswith('.mot'):
            continue
        os.makedirs(os.path.join(dst, os.path.dirname(rel)), exist_ok=True)
        shutil.copyfile(path, os.path.join(dst, rel))
        entries.append({'name': rel, 'size': os.path.getsize(path)})
with open(os.path.join(dst, 'files.json'), 'w') as f:
    json.dump(entries, f, indent=0)
EOF
rm -rf "$site/show"
mv "$site/show.new" "$site/show"
echo "web: built $site/ (qor-player.wasm $(stat -c %s "$site/qor-player.wasm") bytes," \
  "qor-player.js $(stat -c %s "$site/qor-player.js") bytes, show $(du -sb "$site/show" | cut -f1) bytes)"

if [ "$build_only" = 1 ]; then
  exit 0
fi
port=${QOR_WEB_PORT:-8642}
echo "web: serving $site/ at http://127.0.0.1:$port/ (Ctrl+C ends)"
cd "$site"
exec python3 -m http.server "$port" --bind 127.0.0.1
