#!/usr/bin/env bash
# Times saving and splitting a long file against other tools doing the same job.
#
#   bash bench/save_split_bench.sh BUILD_DIR [HOURS] [RUNS]
#
# Makes bench/work/long128.mp3: HOURS (default 5) of 128 kbps CBR audio, about
# 58 MB an hour, by repeating the audio frames of tests/data/cbr128-info.mp3 (its
# Info frame left out). With the file in the page cache (read twice first), each
# command runs RUNS times (default 5) and the median wall-clock and CPU times are
# printed (on a shared machine the CPU time varies less from run to run):
#
#   load + save : save_bench save (load the file, save it unchanged to a new file)
#   cp          : cp of the same file to a new file
#   split       : save_bench split (load, three parts at 1/3 and 2/3 of the frames)
#   mp3splt     : mp3splt -f (frame mode) at the same two points, three files
#   ffmpeg      : three ffmpeg -c copy cuts (-ss/-t), run one after the other
#
# Every output is written to bench/work/out/ (removed before each run), so each
# command creates new files; nothing is flushed to the disk by any of them.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: save_split_bench.sh BUILD_DIR [HOURS] [RUNS]}
hours=${2:-5}
runs=${3:-5}
bench_bin=$build/bench/save_bench
[ -x "$bench_bin" ] || { echo "missing $bench_bin (build the save_bench target)" >&2; exit 1; }
for tool in cp mp3splt ffmpeg; do
  command -v "$tool" >/dev/null || { echo "missing $tool (bash scripts/install-deps)" >&2; exit 1; }
done

work=$here/work
big=$work/long128.mp3
out=$work/out
mkdir -p "$work"

# 128 kbps at 44.1 kHz: 1152 samples a frame, 38.28125 frames a second.
frames_wanted=$(( hours * 3600 * 44100 / 1152 ))
if [ ! -f "$big" ] || [ "$(cat "$big.frames" 2>/dev/null)" != "$frames_wanted" ]; then
  echo "making $big ($hours h, $frames_wanted frames)"
  python3 - "$here/../tests/data/cbr128-info.mp3" "$big" "$frames_wanted" <<'PY'
import sys

src, dst, wanted = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(src, "rb").read()
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]
freq = [44100, 48000, 32000, 0]

def frame_length(pos):
    h2 = data[pos + 2]
    return 144000 * kbps[h2 >> 4] // freq[(h2 >> 2) & 3] + ((h2 >> 1) & 1)

# Walk the frames; the first is the Info frame, which is left out.
frames, pos = [], 0
while pos + 4 <= len(data) and data[pos] == 0xFF and (data[pos + 1] & 0xE0) == 0xE0:
    n = frame_length(pos)
    frames.append(data[pos:pos + n])
    pos += n
frames = frames[1:]
with open(dst, "wb") as out:
    written = 0
    block = b"".join(frames)
    while written + len(frames) <= wanted:
        out.write(block)
        written += len(frames)
    out.write(b"".join(frames[: wanted - written]))
PY
  echo "$frames_wanted" > "$big.frames"
fi

cat "$big" > /dev/null
cat "$big" > /dev/null
size=$(stat -c %s "$big")
seconds=$(( frames_wanted * 1152 / 44100 ))
third=$(( frames_wanted / 3 * 1152 / 44100 ))   # the split points of save_bench split, in seconds
two_thirds=$(( frames_wanted / 3 * 2 * 1152 / 44100 ))
mmss() { printf '%d.%02d' $(( $1 / 60 )) $(( $1 % 60 )); }

# Median wall-clock time and median CPU time (user + system, children included)
# of RUNS runs of a command, after one untimed run: "wall cpu".
median_time() {
  local walls=() cpus=() line
  rm -rf "$out"; mkdir -p "$out"
  "$@" >/dev/null 2>&1
  for ((i = 0; i < runs; i++)); do
    rm -rf "$out"; mkdir -p "$out"
    line=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )
    walls+=("$(echo "$line" | awk '{ print $1 }')")
    cpus+=("$(echo "$line" | awk '{ print $2 + $3 }')")
  done
  echo "$(median "${walls[@]}") $(median "${cpus[@]}")"
}
median() {
  printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

save_cmd() { "$bench_bin" save "$big" "$out/saved.mp3"; }
cp_cmd() { cp "$big" "$out/copy.mp3"; }
split_cmd() { "$bench_bin" split "$big" "$out/part1.mp3" "$out/part2.mp3" "$out/part3.mp3"; }
mp3splt_cmd() { mp3splt -q -f -d "$out" -o "@f_@n" "$big" 0.0 "$(mmss "$third")" "$(mmss "$two_thirds")" EOF; }
ffmpeg_cmd() {
  ffmpeg -nostdin -v error -y -i "$big" -t "$third" -c copy "$out/cut1.mp3" &&
  ffmpeg -nostdin -v error -y -ss "$third" -i "$big" -t $(( two_thirds - third )) -c copy "$out/cut2.mp3" &&
  ffmpeg -nostdin -v error -y -ss "$two_thirds" -i "$big" -c copy "$out/cut3.mp3"
}

# One checked run of each, so that a failing command does not pass as fast.
for cmd in save_cmd cp_cmd split_cmd mp3splt_cmd ffmpeg_cmd; do
  rm -rf "$out"; mkdir -p "$out"
  if ! "$cmd" >"$work/$cmd.log" 2>&1; then
    echo "$cmd failed:" >&2; cat "$work/$cmd.log" >&2; exit 1
  fi
done
rm -rf "$out"; mkdir -p "$out"; save_cmd; cmp -s "$big" "$out/saved.mp3" || {
  echo "note: the saved file differs from the source (expected only when the writer adds or drops frames)" >&2; }

echo "file: $big ($size bytes, $frames_wanted frames, ${seconds} s), median of $runs runs, page cache warm"
read -r w_save c_save < <(median_time save_cmd)
read -r w_cp c_cp < <(median_time cp_cmd)
read -r w_split c_split < <(median_time split_cmd)
read -r w_mp3splt c_mp3splt < <(median_time mp3splt_cmd)
read -r w_ffmpeg c_ffmpeg < <(median_time ffmpeg_cmd)
# The two phases of load + save as save_bench times them inside the process.
loads=() writes=()
for ((i = 0; i < runs; i++)); do
  rm -rf "$out"; mkdir -p "$out"
  line=$(save_cmd 2>&1 >/dev/null)
  loads+=("$(echo "$line" | sed -n 's/.*load \([0-9.]*\) s.*/\1/p')")
  writes+=("$(echo "$line" | sed -n 's/.*save \([0-9.]*\) s.*/\1/p')")
done
p_load=$(median "${loads[@]}")
p_write=$(median "${writes[@]}")
rm -rf "$out"

ratio() { echo "$1 $2" | awk '{ printf "%.2f", ($2 > 0 ? $1 / $2 : 0) }'; }
printf '%-34s %8s %8s\n' "" "wall s" "cpu s"
printf '%-34s %8.3f %8.3f\n' "quorvel load + save" "$w_save" "$c_save"
printf '%-34s %8.3f %8.3f\n' "cp" "$w_cp" "$c_cp"
printf '%-34s %8.3f %8.3f\n' "quorvel load + split (3 parts)" "$w_split" "$c_split"
printf '%-34s %8.3f %8.3f\n' "mp3splt -f (3 parts)" "$w_mp3splt" "$c_mp3splt"
printf '%-34s %8.3f %8.3f\n' "ffmpeg -c copy (3 cuts)" "$w_ffmpeg" "$c_ffmpeg"
printf '%-34s %8.3f\n' "  of which: load (analysis)" "$p_load"
printf '%-34s %8.3f\n' "  of which: save (writer)" "$p_write"
echo "ratios (wall, cpu):"
echo "  load + save / cp       = $(ratio "$w_save" "$w_cp"), $(ratio "$c_save" "$c_cp")   (target: at most 2)"
echo "  save phase alone / cp  = $(ratio "$p_write" "$w_cp") (wall)"
echo "  split / mp3splt        = $(ratio "$w_split" "$w_mp3splt"), $(ratio "$c_split" "$c_mp3splt")   (target: below 1)"
echo "  split / ffmpeg 3 cuts  = $(ratio "$w_split" "$w_ffmpeg"), $(ratio "$c_split" "$c_ffmpeg")"
