#!/usr/bin/env bash
# Quorvel against other tools doing the same job, on generated long files.
#
#   bash bench/run_bench.sh BUILD_DIR        (make bench builds Release and runs it)
#   RUNS=7 RUNS_LONG=5 FILES="cbr-30min vbr-30min cbr-5h mpeg2-5h" bash bench/run_bench.sh BUILD_DIR
#
# Inputs (made once under bench/work/, remade when missing):
#   cbr-30min.mp3  30 minutes, 128 kbps CBR
#   cbr-5h.mp3     5 hours, 128 kbps CBR (about 290 MB)
#   vbr-30min.mp3  30 minutes, lame -V 2 VBR
#   mpeg2-5h.mp3   5 hours, MPEG-2 at 22.05 kHz, 64 kbps CBR (about 145 MB)
# Each is a one-minute piece (sox synth: a sweep, pink noise, a square wave; at
# 22.05 kHz for the MPEG-2 file) encoded by lame without Info frame or bit
# reservoir, its frames repeated, then tagged by id3v2 (an ID3v2.3 and an ID3v1
# tag).
#
# Operations, each timed as the median wall-clock time of RUNS runs (RUNS_LONG
# for the 5-hour file) after one untimed, checked run, with the file in the page
# cache and no dirty pages left (sync before each run). Quorvel runs are silent
# scripts (quorvel --script) or quorvel --info; their peak resident memory comes
# from GNU time (%M) on the checked run. The timed runs start every program the
# same way, without GNU time in between.
#   load + save    LOAD, SAVEAS                          | cp; cp + sync
#   split 3 parts  LOAD, SELECT 1/3 2/3, SPLIT           | mp3splt -f; three ffmpeg -c copy cuts
#   volume +3 dB   LOAD, SELECTALL, VOLUME 3, SAVEAS     | cp, then mp3gain -g 2 on the copy (+ sync)
#   delete 1 min   LOAD, DELETE (middle minute), SAVEAS  | ffmpeg concat demuxer, -c copy
#   info           quorvel --info                        | ffprobe -count_packets; mp3val
# The MPEG-2 file gets load + save and info only.
# Every output goes to a new name in bench/work/out/. Quorvel writes every output
# through a temporary file that it flushes to disk (fsync) before renaming it and
# then flushes the folder, so a crash or power loss never leaves a partial file
# under the final name; cp and mp3gain leave their data in the page cache. The
# targets for load + save and volume are judged against the peer doing the same
# job, "+ sync" (coreutils sync of the output file and its folder); the plain
# peers are listed beside them.
#
# Prints one table and writes it to bench/results.md with the machine and date.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run_bench.sh BUILD_DIR}" && pwd)
runs=${RUNS:-7}
runs_long=${RUNS_LONG:-5}
quorvel=$build/quorvel
[ -x "$quorvel" ] || { echo "missing $quorvel (build the quorvel target)" >&2; exit 1; }
for tool in sox lame id3v2 cp mp3splt ffmpeg ffprobe mp3gain mp3val bc python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (bash scripts/install-deps)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (bash scripts/install-deps)" >&2; exit 1; }

work=$here/work
out=$work/out
scripts=$work/scripts
mkdir -p "$work" "$scripts"

# ---------------------------------------------------------------- inputs
make_inputs() {
  local stamp="v1"
  [ "$(cat "$work/inputs.stamp" 2>/dev/null)" = "$stamp" ] &&
    [ -f "$work/cbr-30min.mp3" ] && [ -f "$work/cbr-5h.mp3" ] && [ -f "$work/vbr-30min.mp3" ] && return
  echo "making the inputs in $work"
  local t=$work/piece
  mkdir -p "$t"
  sox -n -r 44100 -c 2 "$t/a.wav" synth 20 sine 220-1760 vol 0.5
  sox -n -r 44100 -c 2 "$t/b.wav" synth 20 pinknoise vol 0.3
  sox -n -r 44100 -c 2 "$t/c.wav" synth 20 square 440 vol 0.2
  sox "$t/a.wav" "$t/b.wav" "$t/c.wav" "$t/piece.wav"
  # -t: no Info frame; --nores: every frame decodes on its own, so the repeated
  # frames join cleanly. Neither writes a tag.
  lame --quiet -t --nores -b 128 "$t/piece.wav" "$t/cbr.mp3"
  lame --quiet -t --nores -V 2 "$t/piece.wav" "$t/vbr.mp3"
  repeat() {  # repeat SRC COUNT DST
    python3 - "$1" "$2" "$3" <<'PY'
import sys
src, count, dst = sys.argv[1], int(sys.argv[2]), sys.argv[3]
data = open(src, "rb").read()
with open(dst, "wb") as f:
    for _ in range(count):
        f.write(data)
PY
  }
  repeat "$t/cbr.mp3" 30 "$work/cbr-30min.mp3"
  repeat "$t/cbr.mp3" 300 "$work/cbr-5h.mp3"
  repeat "$t/vbr.mp3" 30 "$work/vbr-30min.mp3"
  local f
  for f in cbr-30min cbr-5h vbr-30min; do
    id3v2 -a "Quorvel Bench" -t "$f" -A "Generated" -y 2026 -T 1 -g 12 "$work/$f.mp3"
  done
  rm -rf "$t"
  echo "$stamp" > "$work/inputs.stamp"
}
make_inputs

# The MPEG-2 file: the same piece made at 22.05 kHz, 576 samples a frame.
make_mpeg2_input() {
  [ -f "$work/mpeg2-5h.mp3" ] && return
  echo "making mpeg2-5h.mp3 in $work"
  local t=$work/piece2
  mkdir -p "$t"
  sox -n -r 22050 -c 2 "$t/a.wav" synth 20 sine 220-1760 vol 0.5
  sox -n -r 22050 -c 2 "$t/b.wav" synth 20 pinknoise vol 0.3
  sox -n -r 22050 -c 2 "$t/c.wav" synth 20 square 440 vol 0.2
  sox "$t/a.wav" "$t/b.wav" "$t/c.wav" "$t/piece.wav"
  lame --quiet -t --nores -b 64 --resample 22.05 "$t/piece.wav" "$t/mpeg2.mp3"
  python3 - "$t/mpeg2.mp3" 300 "$t/mpeg2-5h.mp3" <<'PY'
import sys
src, count, dst = sys.argv[1], int(sys.argv[2]), sys.argv[3]
data = open(src, "rb").read()
with open(dst, "wb") as f:
    for _ in range(count):
        f.write(data)
PY
  id3v2 -a "Quorvel Bench" -t "mpeg2-5h" -A "Generated" -y 2026 -T 1 -g 12 "$t/mpeg2-5h.mp3"
  mv "$t/mpeg2-5h.mp3" "$work/mpeg2-5h.mp3"
  rm -rf "$t"
}
case " ${FILES:-mpeg2-5h} " in *" mpeg2-5h "*) make_mpeg2_input ;; esac

# ---------------------------------------------------------------- timing
# Wall-clock seconds of one run of a command (output discarded).
time_once() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

median() { sort -g | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

# Peak resident KiB of Quorvel runs: the checked run of each operation goes
# through GNU time, which appends to this file.
memlog=$work/mem.log

# bench N CMD...: one checked run, then the median of N timed runs; each run
# starts with an empty output folder.
bench() {
  local n=$1; shift
  rm -rf "$out"; mkdir -p "$out"
  if ! measure=1 "$@" >"$work/last.log" 2>&1; then
    echo "failed: $*" >&2; cat "$work/last.log" >&2; exit 1
  fi
  local i times=()
  for ((i = 0; i < n; i++)); do
    rm -rf "$out"; mkdir -p "$out"
    sync  # no dirty pages of the previous run left to slow this one down
    times+=("$(time_once "$@")")
  done
  printf '%s\n' "${times[@]}" | median
}

q() {
  if [ -n "${measure:-}" ]; then /usr/bin/time -a -o "$memlog" -f %M "$quorvel" "$@"; else "$quorvel" "$@"; fi
}
q_script() { q --script "$scripts/$1"; }

# Seconds to the script time form (plain seconds, three decimals).
secs() { printf '%.3f' "$1"; }
# Seconds to mp3splt's minutes.seconds.hundredths form.
mmss() { awk -v s="$1" 'BEGIN { h = int(s * 100 + 0.5); printf "%d.%02d.%02d", int(h / 6000), int(h / 100) % 60, h % 100 }'; }

fail() { echo "check failed: $*" >&2; exit 1; }
# expect_sum SIZE FILES...: the parts hold the whole file (within 2 %; tags and
# Info frames differ from tool to tool).
expect_sum() {
  local size=$1 total=0 f; shift
  for f in "$@"; do [ -s "$f" ] || fail "missing $f"; total=$(( total + $(stat -c %s "$f") )); done
  [ $(( total * 50 )) -ge $(( size * 49 )) ] && [ $(( total * 50 )) -le $(( size * 51 )) ] ||
    fail "parts $* hold $total bytes of $size"
}
expect_changed() {  # same size as the input, other bytes
  [ "$(stat -c %s "$1")" -ge $(( $(stat -c %s "$in") - 4096 )) ] || fail "$1 is short"
  ! cmp -s "$in" "$1" || fail "$1 is unchanged"
}
expect_minute_less() {  # one minute (2297 frames at 44.1 kHz, give or take a few) shorter
  local f
  f=$("$quorvel" --info "$1" | awk '/frames:/ { print $2 }')
  [ -n "$f" ] && [ $(( frames - 2297 - f )) -le 8 ] && [ $(( f - frames + 2297 )) -le 8 ] ||
    fail "$1 has ${f:-no} frames, not about $frames - 2297"
}

rows=()
targets=()
add_row() {  # operation file quorvel_s peer peer_s peak_kib
  local ratio
  ratio=$(echo "$3 / $5" | bc -l)
  rows+=("$(printf '| %s | %s | %.3f | %s %.3f | %.2f | %.1f |' "$1" "$2" "$3" "$4" "$5" "$ratio" "$(echo "$6 / 1024" | bc -l)")")
}

peak_since() {  # largest %M recorded since line $1 of the memory log
  tail -n +"$(( $1 + 1 ))" "$memlog" | grep -E '^[0-9]+$' | sort -n | tail -1
}

: > "$memlog"
for name in ${FILES:-cbr-30min vbr-30min cbr-5h mpeg2-5h}; do
  in=$work/$name.mp3
  n=$runs
  case $name in *-5h) n=$runs_long ;; esac
  # Seconds a frame, and whether every operation runs (the MPEG-2 file: load +
  # save and info).
  case $name in
    mpeg2*) frame_seconds="576 / 22050"; all_ops="" ;;
    *) frame_seconds="1152 / 44100"; all_ops=1 ;;
  esac
  cat "$in" > /dev/null; cat "$in" > /dev/null
  frames=$("$quorvel" --info "$in" | awk '/frames:/ { print $2 }')
  duration=$(echo "$frames * $frame_seconds" | bc -l)
  third=$(echo "$duration / 3" | bc -l)
  two_thirds=$(echo "$duration * 2 / 3" | bc -l)
  del_from=$(echo "$duration / 2 - 30" | bc -l)
  del_to=$(echo "$duration / 2 + 30" | bc -l)
  echo "$name: $(stat -c %s "$in") bytes, $frames frames, $(printf '%.0f' "$duration") s, median of $n runs"

  printf 'LOAD "%s"\nSAVEAS "%s"\n' "$in" "$out/saved.mp3" > "$scripts/save.txt"
  printf 'LOAD "%s"\nSELECT %s %s\nSPLIT "%s" "%s" "%s"\n' "$in" "$(secs "$third")" "$(secs "$two_thirds")" \
    "$out/part1.mp3" "$out/part2.mp3" "$out/part3.mp3" > "$scripts/split.txt"
  printf 'LOAD "%s"\nSELECTALL\nVOLUME 3\nSAVEAS "%s"\n' "$in" "$out/louder.mp3" > "$scripts/volume.txt"
  printf 'LOAD "%s"\nDELETE %s %s\nSAVEAS "%s"\n' "$in" "$(secs "$del_from")" "$(secs "$del_to")" \
    "$out/deleted.mp3" > "$scripts/delete.txt"
  printf "file '%s'\noutpoint %s\nfile '%s'\ninpoint %s\n" "$in" "$(secs "$del_from")" "$in" "$(secs "$del_to")" \
    > "$scripts/concat.txt"

  cp_cmd() { cp "$in" "$out/copy.mp3"; }
  cp_sync_cmd() { cp "$in" "$out/copy.mp3" && sync "$out/copy.mp3" "$out"; }
  mp3splt_cmd() {
    mp3splt -q -f -d "$out" -o "@f_@n" "$in" 0.0 "$(mmss "$third")" "$(mmss "$two_thirds")" EOF
  }
  ffmpeg_cuts() {
    ffmpeg -nostdin -v error -y -i "$in" -t "$(secs "$third")" -c copy "$out/cut1.mp3" &&
    ffmpeg -nostdin -v error -y -ss "$(secs "$third")" -i "$in" -t "$(secs "$(echo "$two_thirds - $third" | bc -l)")" \
      -c copy "$out/cut2.mp3" &&
    ffmpeg -nostdin -v error -y -ss "$(secs "$two_thirds")" -i "$in" -c copy "$out/cut3.mp3"
  }
  mp3gain_cmd() { cp "$in" "$out/gain.mp3" && mp3gain -q -g 2 "$out/gain.mp3"; }
  mp3gain_sync_cmd() { mp3gain_cmd && sync "$out/gain.mp3" "$out"; }
  concat_cmd() { ffmpeg -nostdin -v error -y -f concat -safe 0 -i "$scripts/concat.txt" -c copy "$out/concat.mp3"; }
  ffprobe_cmd() {
    ffprobe -v error -count_packets -select_streams a:0 -show_entries stream=nb_read_packets -of csv=p=0 "$in"
  }
  mp3val_cmd() { mp3val "$in"; }

  # After each timed command its last outputs are checked, so that a command
  # that did less than its job cannot pass as fast.
  mark=$(wc -l < "$memlog"); t_save=$(bench "$n" q_script save.txt); m_save=$(peak_since "$mark")
  # (A VBR file without a Xing frame gets one, so only CBR saves are byte for byte.)
  case $name in
    cbr* | mpeg2*) cmp -s "$in" "$out/saved.mp3" || fail "the unchanged save differs from $in" ;;
    *) expect_sum "$(stat -c %s "$in")" "$out/saved.mp3" ;;
  esac
  t_cp=$(bench "$n" cp_cmd)
  t_cp_sync=$(bench "$n" cp_sync_cmd)
  if [ -n "$all_ops" ]; then
    mark=$(wc -l < "$memlog"); t_split=$(bench "$n" q_script split.txt); m_split=$(peak_since "$mark")
    expect_sum "$(stat -c %s "$in")" "$out/part1.mp3" "$out/part2.mp3" "$out/part3.mp3"
    t_mp3splt=$(bench "$n" mp3splt_cmd)
    [ "$(find "$out" -name '*.mp3' | wc -l)" = 3 ] || fail "mp3splt did not write three files"
    t_ffcuts=$(bench "$n" ffmpeg_cuts)
    expect_sum "$(stat -c %s "$in")" "$out/cut1.mp3" "$out/cut2.mp3" "$out/cut3.mp3"
    mark=$(wc -l < "$memlog"); t_volume=$(bench "$n" q_script volume.txt); m_volume=$(peak_since "$mark")
    expect_changed "$out/louder.mp3"
    t_mp3gain=$(bench "$n" mp3gain_cmd)
    expect_changed "$out/gain.mp3"
    t_mp3gain_sync=$(bench "$n" mp3gain_sync_cmd)
    expect_changed "$out/gain.mp3"
    mark=$(wc -l < "$memlog"); t_delete=$(bench "$n" q_script delete.txt); m_delete=$(peak_since "$mark")
    expect_minute_less "$out/deleted.mp3"
    t_concat=$(bench "$n" concat_cmd)
    expect_minute_less "$out/concat.mp3"
  fi
  mark=$(wc -l < "$memlog"); t_info=$(bench "$n" q --info "$in"); m_info=$(peak_since "$mark")
  t_ffprobe=$(bench "$n" ffprobe_cmd)
  t_mp3val=$(bench "$n" mp3val_cmd)
  rm -rf "$out"

  add_row "load + save" "$name" "$t_save" "cp" "$t_cp" "$m_save"
  add_row "load + save" "$name" "$t_save" "cp + sync" "$t_cp_sync" "$m_save"
  if [ -n "$all_ops" ]; then
    add_row "split 3 parts" "$name" "$t_split" "mp3splt -f" "$t_mp3splt" "$m_split"
    add_row "split 3 parts" "$name" "$t_split" "ffmpeg -c copy x3" "$t_ffcuts" "$m_split"
    add_row "volume +3 dB" "$name" "$t_volume" "cp + mp3gain -g 2" "$t_mp3gain" "$m_volume"
    add_row "volume +3 dB" "$name" "$t_volume" "cp + mp3gain -g 2 + sync" "$t_mp3gain_sync" "$m_volume"
    add_row "delete 1 min" "$name" "$t_delete" "ffmpeg concat" "$t_concat" "$m_delete"
  fi
  add_row "--info" "$name" "$t_info" "ffprobe -count_packets" "$t_ffprobe" "$m_info"
  add_row "--info" "$name" "$t_info" "mp3val" "$t_mp3val" "$m_info"

  # Targets: load + save within 2x of cp + sync; split and delete faster than
  # every peer, volume faster than cp + mp3gain + sync; peak memory below
  # 64 MiB + 40 bytes a frame.
  limit_kib=$(( 65536 + frames * 40 / 1024 ))
  check() {  # label condition
    if [ "$(echo "$2" | bc -l)" = 1 ]; then targets+=("met    $name: $1"); else targets+=("MISSED $name: $1"); fi
  }
  check "load + save <= 2 x (cp + sync) ($(printf '%.3f' "$t_save") s vs $(printf '%.3f' "$t_cp_sync") s)" \
    "$t_save <= 2 * $t_cp_sync"
  if [ -n "$all_ops" ]; then
    check "split faster than mp3splt and ffmpeg" "$t_split < $t_mp3splt && $t_split < $t_ffcuts"
    check "volume faster than cp + mp3gain + sync" "$t_volume < $t_mp3gain_sync"
    check "delete faster than ffmpeg concat" "$t_delete < $t_concat"
    peak=$(printf '%s\n' "$m_save" "$m_split" "$m_volume" "$m_delete" "$m_info" | sort -n | tail -1)
  else
    peak=$(printf '%s\n' "$m_save" "$m_info" | sort -n | tail -1)
  fi
  check "peak memory $((peak / 1024)) MiB below $((limit_kib / 1024)) MiB (64 MiB + 40 B x $frames frames)" \
    "$peak < $limit_kib"
done

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
mem=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
machine="$(nproc) cores, $cpu, $mem memory, $(uname -sr)"
when=$(date -u '+%Y-%m-%d %H:%M UTC')
table=$(
  echo "| operation | file | Quorvel s | peer s | ratio | Quorvel peak MB |"
  echo "|---|---|---:|---|---:|---:|"
  printf '%s\n' "${rows[@]}"
)
{
  echo "# Quorvel benchmark"
  echo
  echo "Machine: $machine. Date: $when."
  echo "Median wall-clock seconds of $runs runs ($runs_long for the 5-hour file), page cache warm;"
  echo "ratio = Quorvel / peer (below 1: Quorvel is faster). Peak MB: largest resident set of"
  echo "the checked Quorvel run (MiB). Reproduce with \`make bench\`."
  echo
  echo "$table"
  echo
  echo "Targets:"
  echo
  printf -- '- %s\n' "${targets[@]}"
} > "$here/results.md"

echo
echo "Machine: $machine. Date: $when."
echo "$table"
echo
printf '%s\n' "${targets[@]}"
echo "written to $here/results.md"
