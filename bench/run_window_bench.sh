#!/usr/bin/env bash
# The window with a 5-hour 128 kbps file (the frames of a fixture repeated):
# open until the strip is painted and the strip paint at the end of the file
# (window_bench), against `quorvel --info` on the same file (median of 9 runs),
# and the peak memory of the window against a silent run that loads the file.
#   bash bench/run_window_bench.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
python3 - "$work/5h.mp3" tests/data/cbr128-no-reservoir.mp3 <<'PY'
import sys
data = open(sys.argv[2], "rb").read()
frames = data[data.find(b"\xff\xfb"):]
with open(sys.argv[1], "wb") as f:
    for _ in range(689063 // 59 + 1):
        f.write(frames)
PY
python3 - "$build" "$work/5h.mp3" <<'PY'
import os, statistics, subprocess, sys, time
build, mp3 = sys.argv[1], sys.argv[2]
t = []
for _ in range(9):
    a = time.perf_counter()
    subprocess.run([build + "/quorvel", "--info", mp3], stdout=subprocess.DEVNULL, check=True)
    t.append(time.perf_counter() - a)
info = statistics.median(t)
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
opens, paints = [], []
for _ in range(9):
    out = subprocess.run([build + "/bench/window_bench", mp3, "501"], capture_output=True, text=True,
                         env=env, check=True).stdout
    opens.append(float(out.split("open+first paint s ")[1].split()[0]))
    paints.append(float(out.split("median us ")[1].split()[0]))
print("--info (whole process), median s: %.3f" % info)
print("window open until the strip is painted, median s: %.3f (ratio %.2f)" % (statistics.median(opens),
                                                                                statistics.median(opens) / info))
print("strip paint at the end of the file, median us: %.1f" % statistics.median(paints))
PY
printf 'LOAD "%s"\r\n' "$work/5h.mp3" >"$work/load.txt"
silent=$( { /usr/bin/time -f "%M" "$build/quorvel" --script "$work/load.txt" 2>&1 >/dev/null; } | tail -1)
window=$( { QT_QPA_PLATFORM=offscreen /usr/bin/time -f "%M" "$build/bench/window_bench" "$work/5h.mp3" 11 2>&1 >/dev/null; } | tail -1)
echo "peak memory: window $((window / 1024)) MB, silent run $((silent / 1024)) MB, difference $(((window - silent) / 1024)) MB"
