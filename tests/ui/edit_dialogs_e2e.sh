#!/usr/bin/env bash
# End to end, the real program under Xvfb with openbox, keys only: 2 s of
# silence inserted at 0.5 s through "Add blank frames (silence)", then a fade
# out over the last 3 s through "Fade In/Out", saved as a new file. mpg123
# decodes the output: the inserted stretch is digital silence of the asked
# length, the faded frames fall in level towards -30 dB, and the audio before
# and between the edits decodes exactly as the source does.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"

for tool in ffprobe mpg123; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done
source "$(dirname "$0")/e2e_session.sh"

start_program "$work/a.mp3" || exit 1

# The sample: 156 frames of 1152 samples at 44.1 kHz; the first carries the
# encoder's information and decodes to nothing.
frame=$(python3 -c 'print(1152 / 44100)')

# Silence: the cursor at 0.5 s (frame 19), 2 s = 77 frames.
keys alt+c ctrl+a
typed "0.5"
keys Return
keys alt+i
silence=$(find_window '^Add blank frames \(silence\)$') || { echo "no silence dialog"; exit 1; }
xdotool windowactivate --sync "$silence" || true
keys alt+s ctrl+a
typed "2"
keys Return
sleep 0.5

# Fade out over the last 3 s: 233 frames end at 6.0865 s; 3.087 s is frame 118.
xdotool windowactivate --sync "$main" || true
keys alt+c ctrl+a
typed "3.087"
keys Return
keys alt+w ctrl+a
typed "6.087"
keys Return
keys alt+d
fade=$(find_window '^Fade In/Out$') || { echo "no fade dialog"; exit 1; }
xdotool windowactivate --sync "$fade" || true
keys alt+k
sleep 0.5

# Save as a new name through the file dialog.
save_as "$main" "$work/out.mp3" "$work/quorvel.log" || exit 1
quit_program || exit 1

in_len=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$sample")
out_len=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/out.mp3")
python3 - "$in_len" "$out_len" "$frame" <<'PY'
import sys
a, b, f = map(float, sys.argv[1:])
if abs((b - a) - 77 * f) > f / 2:
    sys.exit("ffprobe: the output is %.3f s longer, expected %.3f s" % (b - a, 77 * f))
PY

python3 - "$sample" "$work/out.mp3" <<'PY'
import math, struct, subprocess, sys
def pcm(path):
    raw = subprocess.run(["mpg123", "-q", "--no-gapless", "-s", path], capture_output=True, check=True).stdout
    return struct.unpack("<%dh" % (len(raw) // 2), raw)
def frame(s, j):  # stereo samples of decoded frame j
    return s[2 * 1152 * j:2 * 1152 * (j + 1)]
def rms(v):
    return math.sqrt(sum(x * x for x in v) / max(1, len(v)))
src, out = pcm(sys.argv[1]), pcm(sys.argv[2])
# Decoded frame j of the output is edit frame j + 1 (the information frame leads).
if len(out) != len(src) + 2 * 1152 * 77:
    sys.exit("decoded %d samples, expected %d" % (len(out) // 2, len(src) // 2 + 1152 * 77))
for j in range(0, 18):
    if frame(out, j) != frame(src, j):
        sys.exit("frame %d before the silence decodes differently" % j)
# The first blank frame still carries the overlap of the frame before it.
for j in range(19, 18 + 77):
    if any(frame(out, j)):
        sys.exit("inserted frame %d is not digital silence" % j)
# Between the edits, once the decoder has left the silence behind, the source's audio.
for j in range(18 + 77 + 3, 117):
    if frame(out, j) != frame(src, j - 77):
        sys.exit("frame %d between the edits decodes differently" % j)
# The fade: edit frames 118..232 are decoded frames 117..231.
ratios = []
for j in range(117, 232):
    level = rms(frame(src, j - 77))
    if level >= 200:
        ratios.append((j, rms(frame(out, j)) / level))
if len(ratios) < 60:
    sys.exit("too few loud frames to follow the fade")
first, last = ratios[0][1], ratios[-1][1]
if not 0.8 < first < 1.2:
    sys.exit("the fade starts at a factor of %.3f, expected about 1" % first)
if not 0.015 < last < 0.06:
    sys.exit("the fade ends at a factor of %.4f, expected about 0.03 (-30 dB)" % last)
for (j0, r0), (j1, r1) in zip(ratios, ratios[1:]):
    if r1 > r0 * 1.25:
        sys.exit("the level rises from frame %d to %d (%.3f -> %.3f)" % (j0, j1, r0, r1))
print("fade: %.3f -> %.4f over %d loud frames" % (first, last, len(ratios)))
PY
echo "silence and fade dialogs end to end: ok"
