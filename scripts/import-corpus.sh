#!/usr/bin/env bash
# Imports every model of Debian's assimp-testmodels with qor-import, then reads each result with
# qor-scene check (the engine's loader with all its record checks) and draws it with qor-scene
# render (the scene test viewer's frame, from the folder the textures were written to). Prints
# one line per model (imported / refused / CRASH / HANG / BROKEN / UNDRAWN / CAMERA LOST), with
# for each drawn model whether it has a camera and a light in range of its meshes (render says
# when not), and the totals. A model that loses a camera of its file fails the run.
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
withcam=0 filecam=0 lost=0 lit=0
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
    imported=$((imported + 1))
    # "N cameras (M in the file)": every camera of the file must be there.
    counts=$(grep -o '[0-9]* cameras ([0-9]* in the file)' "$log" | tr -dc '0-9 ')
    read -r ncam nfile <<<"$counts"
    ncam=${ncam:-0} nfile=${nfile:-0}
    cam=yes light=yes
    grep -q 'the scene has no camera' "$log.render" && cam=no
    grep -q 'have no light of the scene in range' "$log.render" && light=no
    [ "$cam" = yes ] && withcam=$((withcam + 1))
    [ "$light" = yes ] && lit=$((lit + 1))
    [ "$nfile" -gt 0 ] && filecam=$((filecam + 1))
    if [ "$ncam" -lt "$nfile" ]; then
      lost=$((lost + 1)); echo "CAMERA LOST $model: $ncam of $nfile cameras"
    fi
    echo "imported $model ($(grep -c warning "$log") warnings, drawn; camera $cam, light in range $light)"
  fi
  rm -f "$out/$name.s3d" "$out/$name.s3d.MOT" "$out/$name.png"
done < <(find "$models" -type f -regextype posix-extended -iregex ".*\.($exts)$" -print0 | sort -z)
echo "models $total: imported and drawn $imported, refused $refused, crashed $crashed, hung $hung, broken output $broken, not drawn $undrawn"
echo "of the $imported drawn: $withcam with a camera ($filecam with cameras in the file, $lost of them losing one), $lit with a light in range of every mesh"
[ $crashed -eq 0 ] && [ $hung -eq 0 ] && [ $broken -eq 0 ] && [ $undrawn -eq 0 ] && [ $lost -eq 0 ]
