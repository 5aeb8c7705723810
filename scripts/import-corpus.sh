#!/usr/bin/env bash
# Imports every model of Debian's assimp-testmodels with qor-import, then reads each result with
# qor-scene check (the engine's loader with all its record checks) and draws it with qor-scene
# render (the scene test viewer's frame, from the folder the textures were written to). Prints
# one line per model (imported / refused / CRASH / HANG / BROKEN / UNDRAWN) and the totals.
#
#   scripts/import-corpus.sh [BUILD_DIR] [MODELS_DIR]
#
# BUILD_DIR defaults to build (use build-asan for a sanitizer run: any sanitizer report makes the
# tool exit with a signal or a non-zero status other than 1, counted as CRASH).
set -u
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
models=${2:-/usr/share/assimp/models}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0:use_tls=0}"

imported=0 refused=0 crashed=0 hung=0 broken=0 undrawn=0 total=0
exts='obj|gltf|glb|fbx|dae|3ds|x|ply|stl|off|md2|md3|md5mesh|ms3d|lwo|lws|ac|ase|ask|b3d|blend|bvh|cob|csm|dxf|hmp|irr|irrmesh|lxo|m3d|mdc|mdl|nff|ogex|pk3|q3o|q3s|raw|sib|smd|ter|uc|x3d|xgl|zgl|3d|amf|3mf|iqm|xml|mesh'
while IFS= read -r -d '' model; do
  total=$((total + 1))
  name=$(printf '%04d' "$total")
  log="$out/$name.log"
  timeout 60 "$build/bin/qor-import" "$model" -o "$out/$name.s3d" --textures "$out/maps" >"$log" 2>&1
  rc=$?
  if [ $rc -eq 124 ]; then
    hung=$((hung + 1)); echo "HANG     $model"
  elif [ $rc -eq 1 ]; then
    refused=$((refused + 1)); echo "refused  $model: $(grep -v warning "$log" | tail -1)"
  elif [ $rc -ne 0 ]; then
    crashed=$((crashed + 1)); echo "CRASH    $model (exit $rc)"; tail -5 "$log"
  elif ! timeout 60 "$build/bin/qor-scene" check "$out/$name.s3d" >"$log.check" 2>&1; then
    broken=$((broken + 1)); echo "BROKEN   $model: $(tail -1 "$log.check")"
  elif ! (cd "$out" && timeout 120 "$build/bin/qor-scene" render "$name.s3d" --at 0 -o "$name.png") \
      >"$log.render" 2>&1; then
    undrawn=$((undrawn + 1)); echo "UNDRAWN  $model: $(tail -1 "$log.render")"
  else
    imported=$((imported + 1)); echo "imported $model ($(grep -c warning "$log") warnings, drawn)"
  fi
  rm -f "$out/$name.s3d" "$out/$name.s3d.MOT" "$out/$name.png"
done < <(find "$models" -type f -regextype posix-extended -iregex ".*\.($exts)$" -print0 | sort -z)
echo "models $total: imported and drawn $imported, refused $refused, crashed $crashed, hung $hung, broken output $broken, not drawn $undrawn"
[ $crashed -eq 0 ] && [ $hung -eq 0 ] && [ $broken -eq 0 ] && [ $undrawn -eq 0 ]
