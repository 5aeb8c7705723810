#!/usr/bin/env bash
# Captures the whole show to one video in pieces captured at the same time: the frames are
# split into ranges (qor-player --range), each range is captured by a process of its own (or on
# another machine), and the pieces are joined without re-encoding (ffmpeg's concat demuxer),
# the music muxed once over the whole. A range gives exactly the frames a whole run gives there,
# so the joined video shows the frames of a single capture.
#
#   scripts/capture-parallel.sh [options] SHOWDIR OUT.mp4|OUT.mkv|OUT.mov
#     --jobs N         processes at once (default: the number of cores)
#     --pieces N       ranges to cut the show into (default: the number of jobs)
#     --fps N          frames per second (default 60)
#     --size WxH       picture size (default 640x480; even numbers)
#     --player PATH    qor-player (default: build/bin/qor-player beside this script)
#     --sshlogin LIST  run the ranges on these machines with GNU parallel (Debian package
#                      "parallel"), e.g. "2/host1,2/host2,:" (":" is this machine). Every
#                      machine must see SHOWDIR, OUT's folder and the player at the same paths
#                      (a shared folder) and have ffmpeg and an OpenGL driver.
#     --keep           keep the pieces (OUT's folder, OUT.pieces/)
#
# Exit status: 0 done, 1 a capture or the join failed (its message above), 2 bad usage.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)
pieces=""
fps=60
size=""
player="$here/../build/bin/qor-player"
sshlogin=""
keep=0

usage() {
  sed -n '/^#   scripts/,/^# Exit status/p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
bad() {
  echo "capture-parallel: $*" >&2
  exit 2
}
isCount() { [[ "$1" =~ ^[1-9][0-9]{0,3}$ ]]; }

args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) [ $# -ge 2 ] && isCount "$2" || bad "--jobs takes a count from 1 to 9999"; jobs=$2; shift 2 ;;
    --pieces) [ $# -ge 2 ] && isCount "$2" || bad "--pieces takes a count from 1 to 9999"; pieces=$2; shift 2 ;;
    --fps) [ $# -ge 2 ] && isCount "$2" && [ "$2" -le 1000 ] || bad "--fps takes whole frames per second from 1 to 1000"; fps=$2; shift 2 ;;
    --size) [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+x[0-9]+$ ]] || bad "--size takes WIDTHxHEIGHT"; size=$2; shift 2 ;;
    --player) [ $# -ge 2 ] || bad "--player needs a path"; player=$2; shift 2 ;;
    --sshlogin) [ $# -ge 2 ] || bad "--sshlogin needs a list of machines"; sshlogin=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage ;;
    -*) bad "unknown option $1" ;;
    *) args+=("$1"); shift ;;
  esac
done
[ ${#args[@]} -eq 2 ] || usage
show=$(realpath -m "${args[0]}")
out=$(realpath -m "${args[1]}")
[ -n "$pieces" ] || pieces=$jobs
case "$out" in
  *.mp4|*.mkv|*.mov) ;;
  *) bad "the video must end in .mp4, .mkv or .mov (H.264 pieces join without re-encoding), not \"${args[1]}\"" ;;
esac
[ -d "$show" ] || { echo "capture-parallel: no show folder $show" >&2; exit 1; }
[ -x "$player" ] || { echo "capture-parallel: no player at $player (build it: cmake --build build)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "capture-parallel: ffmpeg is not in PATH (Debian package \"ffmpeg\")" >&2; exit 1; }
if [ -n "$sshlogin" ] && ! command -v parallel >/dev/null; then
  echo "capture-parallel: --sshlogin needs GNU parallel (Debian package \"parallel\")" >&2
  exit 1
fi
if [ -e "$out" ] && [ ! -f "$out" ] || [ -L "$out" ]; then
  echo "capture-parallel: $out is not a regular file: not replaced" >&2
  exit 1
fi
player=$(realpath "$player")

# The pieces: frames 0 to the show's length at this rate, in equal ranges; the last one runs
# to the end of the show, which a run from the start reaches a few frames later than the
# table's length (every screen switch drops the step that crossed it).
total=$(awk -v f="$fps" 'BEGIN { printf "%d", 9322 / 30 * f + 0.999999 }')
per=$(( (total + pieces - 1) / pieces ))
work="$out.pieces"
rm -rf "$work"
mkdir -p "$work" || exit 1
cleanup() { [ "$keep" -eq 1 ] || rm -rf "$work"; }
trap cleanup EXIT
list="$work/ranges.txt"
: >"$list"
for ((i = 0; i < pieces; i++)); do
  first=$(( i * per ))
  last=$(( i == pieces - 1 ? 999999999 : first + per - 1 ))
  printf '%05d %d %d\n' "$i" "$first" "$last" >>"$list"
done

# One piece: its range, captured without a display (its sound is left out of the join).
sizeArg=""
[ -n "$size" ] && sizeArg="--size $size"
piece() {
  local i=$1 first=$2 last=$3
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$player" --dir "$show" --no-dialogs --quiet \
    --fps "$fps" --range "$first:$last" $sizeArg --capture "$work/piece_$i.mkv" 2>"$work/piece_$i.log"
  local rc=$?
  [ $rc -eq 0 ] || { echo "capture-parallel: piece $i (frames $first to $last) failed ($rc):" >&2; cat "$work/piece_$i.log" >&2; }
  return $rc
}
export -f piece
export player show fps sizeArg work

start=$(date +%s.%N)
failed=0
if [ -n "$sshlogin" ]; then
  parallel --jobs "$jobs" --sshlogin "$sshlogin" --colsep ' ' --halt now,fail=1 \
    --env piece --env player --env show --env fps --env sizeArg --env work \
    piece {1} {2} {3} :::: "$list" || failed=1
else
  while read -r i first last; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || failed=1; done
    piece "$i" "$first" "$last" &
  done <"$list"
  while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
fi
[ $failed -eq 0 ] || exit 1
captured=$(date +%s.%N)

# The music: the loose file beside the pack, else the pack's own entry.
music="$show/DASKMIX.mp3"
if [ ! -f "$music" ]; then
  music=""
  pack="$show/dask243.dat"
  packTool="$(dirname "$player")/qor-pack"
  if [ -f "$pack" ] && [ -x "$packTool" ] && "$packTool" extract "$pack" "$work/pack" >/dev/null 2>&1 &&
    [ -f "$work/pack/DASKMIX.mp3" ]; then
    music="$work/pack/DASKMIX.mp3"
  else
    echo "capture-parallel: no music (DASKMIX.mp3 in $show or its pack): the video is silent" >&2
  fi
fi

# The join: the pieces' video as it is, the music encoded once, cut at the last frame. Each
# piece but the last lasts exactly its frames: the next one starts there (a piece's file lasts
# as long as its longest stream, and its sound runs a little past its last frame).
: >"$work/pieces.txt"
while read -r i first last; do
  echo "file '$work/piece_$i.mkv'" >>"$work/pieces.txt"
  if [ "$last" -ne 999999999 ]; then
    awk -v n=$(( last - first + 1 )) -v f="$fps" 'BEGIN { printf "duration %.9f\n", n / f }' >>"$work/pieces.txt"
  fi
done <"$list"
tmp="$(dirname "$out")/.$(basename "$out").part.${out##*.}"
audio=()
if [ -n "$music" ]; then
  audio=(-i "$music" -map 0:v:0 -map 1:a:0 -c:a aac -b:a 192k -af apad -shortest)
fi
faststart=()
case "$out" in *.mp4|*.mov) faststart=(-movflags +faststart) ;; esac
if ! ffmpeg -hide_banner -nostdin -loglevel error -y -f concat -safe 0 -i "$work/pieces.txt" "${audio[@]}" \
  -c:v copy "${faststart[@]}" "$tmp"; then
  rm -f "$tmp"
  echo "capture-parallel: joining the pieces failed" >&2
  exit 1
fi
mv -f "$tmp" "$out" || exit 1
done_=$(date +%s.%N)
awk -v a="$start" -v b="$captured" -v c="$done_" -v j="$jobs" -v p="$pieces" -v o="$out" \
  'BEGIN { printf "capture-parallel: %s: %d pieces, %d at once: captured in %.1f s, joined in %.1f s\n", o, p, j, b - a, c - b }'
