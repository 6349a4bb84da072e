#!/usr/bin/env bash
# Times the source analysis against plain reading of the same file.
#
#   bash bench/run_analysis_bench.sh BUILD_DIR [SIZE_MB]
#
# Makes bench/work/big.mp3 (about SIZE_MB megabytes, default 300) by repeating the
# audio frames of tests/data/vbr-xing.mp3 (its Xing frame left out, so the file is
# one long VBR stream), reads it twice to bring it into the page cache, then runs
# BUILD_DIR/bench/analysis_bench on it (median of 5 runs of each).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run_analysis_bench.sh BUILD_DIR [SIZE_MB]}
size_mb=${2:-300}
bench_bin=$build/bench/analysis_bench
[ -x "$bench_bin" ] || { echo "missing $bench_bin (build the analysis_bench target)" >&2; exit 1; }

work=$here/work
big=$work/big.mp3
mkdir -p "$work"

want=$((size_mb * 1000 * 1000))
if [ ! -f "$big" ] || [ "$(stat -c %s "$big")" -lt "$want" ] || \
   [ "$(stat -c %s "$big")" -gt $((want + 4 * 1000 * 1000)) ]; then
  echo "making $big (${size_mb} MB)"
  python3 - "$here/../tests/data/vbr-xing.mp3" "$big" "$want" <<'PY'
import sys

src, dst, want = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(src, "rb").read()
# MPEG-1 Layer III frame length: 144 * bitrate / frequency (+1 with padding).
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]
freq = [44100, 48000, 32000, 0]
h2 = data[2]
first = 144000 * kbps[h2 >> 4] // freq[(h2 >> 2) & 3] + ((h2 >> 1) & 1)
frames = data[first:]
block = frames * max(1, (4 * 1000 * 1000) // len(frames))
with open(dst, "wb") as out:
    written = 0
    while written < want:
        out.write(block)
        written += len(block)
PY
fi

# Warm the page cache so both sides read from memory.
cat "$big" > /dev/null
cat "$big" > /dev/null

echo "file: $big ($(stat -c %s "$big") bytes)"
"$bench_bin" "$big" 5
