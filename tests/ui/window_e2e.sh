#!/usr/bin/env bash
# End to end through the window: the real program under Xvfb with the openbox
# window manager, driven only by keys (xdotool). It opens a file from the
# command line, selects 1 s to 2 s with the position boxes, deletes, undoes,
# deletes again, raises the volume of a selection, saves under a new name
# through the file dialog and closes the window; then ffprobe counts the frames
# of the output, mpg123 decodes it, and the exit status must be 0.
#
#   window_e2e.sh            the bundled sample: MPEG-1, 44.1 kHz, 1152 samples a frame
#   window_e2e.sh RATE       a 4 s stereo tone that lame encodes at RATE Hz (24000,
#                            22050, 16000: MPEG-2; 12000, 11025, 8000: MPEG-2.5;
#                            576 samples a frame), with LAME's Info frame first
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"
rate=${1:-44100}
case $rate in
  44100) samples_per_frame=1152 ;;
  24000 | 22050 | 16000 | 12000 | 11025 | 8000) samples_per_frame=576 ;;
  *) echo "unsupported rate: $rate"; exit 1 ;;
esac

for tool in ffprobe mpg123; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done
if [ $# -gt 0 ]; then
  for tool in sox lame; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
  done
fi
source "$(dirname "$0")/e2e_session.sh"

if [ $# -gt 0 ]; then
  # Two tones, one a channel, at the asked rate; lame keeps the rate and writes
  # its Info frame (CBR) before the audio, when that frame holds its tag: 64 kbps
  # at 16 to 24 kHz, 32 kbps below.
  sox -R -n -r "$rate" -c 2 -b 16 "$work/tone.wav" synth 4 sine 440 sine 660 fade 0.05 4 0.05 gain -3
  lame --quiet --noreplaygain -b $(( rate >= 16000 ? 64 : 32 )) --cbr -m j --resample "$(python3 -c "print($rate / 1000)")" \
    "$work/tone.wav" "$work/a.mp3"
fi
in=$work/a.mp3
python3 - "$in" "$rate" <<'PY' || exit 1
import sys
data = open(sys.argv[1], "rb").read()
# The first frame's header (after an ID3v2 tag) names the version and frequency;
# LAME's Info frame is that first frame, its tag after the side information.
pos = 0
if data[:3] == b"ID3":
    pos = 10 + (data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]) + (10 if data[5] & 0x10 else 0)
head = data[pos:pos + 4]
if len(head) < 4 or head[0] != 0xFF or head[1] & 0xE0 != 0xE0:
    sys.exit("the input has no frame where its audio starts")
version = {3: "MPEG-1", 2: "MPEG-2", 0: "MPEG-2.5"}[(head[1] >> 3) & 3]
table = {"MPEG-1": (44100, 48000, 32000), "MPEG-2": (22050, 24000, 16000), "MPEG-2.5": (11025, 12000, 8000)}
freq = table[version][(head[2] >> 2) & 3]
if freq != int(sys.argv[2]):
    sys.exit("the input is %s at %d Hz, not %s Hz" % (version, freq, sys.argv[2]))
if b"Info" not in data[pos:pos + 64]:
    sys.exit("the input's first frame is no Info frame")
PY
# Frames of the input: ffprobe's audio frames and the Info frame, which it skips.
input_frames=$(( $(ffprobe -v error -count_packets -select_streams a:0 -show_entries stream=nb_read_packets -of csv=p=0 "$in") + 1 ))

# Without any display or platform plugin, --info and a silent run still work:
# they never start the window.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-plugin "$bin" --info "$in" >"$work/info.txt"
grep -q "frames: $input_frames\$" "$work/info.txt" || { echo "--info without a display failed, expected $input_frames frames"; cat "$work/info.txt"; exit 1; }
printf 'LOAD "%s"\r\nDELETE 0 1\r\nSAVEAS "%s"\r\n' "$in" "$work/silent.mp3" >"$work/script.txt"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-plugin "$bin" --script "$work/script.txt" 2>"$work/silent.log" \
  || { echo "silent run without a display failed"; cat "$work/silent.log"; exit 1; }
[ -s "$work/silent.mp3" ] || { echo "the silent run wrote nothing"; exit 1; }

start_program "$in" || exit 1

# Cursor box: 1 s; selection box: 2 s.
keys alt+c ctrl+a
typed "1"
keys Return
keys alt+w ctrl+a
typed "2"
keys Return
keys ctrl+Delete
keys ctrl+z
keys ctrl+Delete

# A new selection from 1 s to 1.6 s, raised by 4 steps (+6 dB).
keys alt+c ctrl+a
typed "1"
keys Return
keys alt+w ctrl+a
typed "1.6"
keys Return
keys alt+v
volume=$(find_window '^Volume and balance change$')
xdotool windowactivate --sync "$volume" || true
keys Right Right Right Right
keys alt+k
sleep 0.5

# Save as a new name through the file dialog.
save_as "$main" "$work/out.mp3" "$work/quorvel.log" || exit 1

quit_program || exit 1

# The boxes place a time on the nearest frame boundary (frames of
# samples_per_frame / rate seconds; frame 0 is the Info frame). Deleted: frames
# round(1 / d) to round(2 / d). The output's Info frame (LAME's, written again)
# is no audio frame: ffprobe and mpg123 skip it, as they do in the input.
layout=$(python3 - "$samples_per_frame" "$rate" "$input_frames" <<'PY'
import sys
spf, rate, frames = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
d = spf / rate
def boundary(t):
    x = t / d
    assert abs(x - int(x) - 0.5) > 0.01, "%s s lies halfway between two frame boundaries" % t
    return round(x)
a, b, c = boundary(1), boundary(2), boundary(1.6)
deleted = b - a
# The raised frames a..c-1 of the edit are the source's frames a+deleted..c-1+deleted;
# in the decoded audio (no Info frame) both start one frame earlier. One frame is
# left out at each end, where the decoder's overlap mixes the levels.
print(frames - 1 - deleted, "%d:%d" % (a, c - 2), "%d:%d" % (b, c - 2 + deleted))
PY
)
read -r expected raised_out raised_src <<<"$layout"
frames=$(ffprobe -v error -count_packets -select_streams a:0 -show_entries stream=nb_read_packets -of csv=p=0 "$work/out.mp3")
[ "$frames" = "$expected" ] || { echo "ffprobe counts $frames frames, expected $expected"; exit 1; }
samples=$(( $(mpg123 -q --no-gapless -s "$work/out.mp3" 2>/dev/null | wc -c) / 4 ))
[ "$samples" -eq $(( expected * samples_per_frame )) ] || { echo "mpg123 decodes $samples samples, expected $(( expected * samples_per_frame ))"; exit 1; }

# The raised stretch is louder than the same audio in the source.
python3 - "$work" "$samples_per_frame" "$raised_out" "$raised_src" <<'PY'
import subprocess, sys, struct, math
work, spf = sys.argv[1], int(sys.argv[2])
out_range = [int(v) for v in sys.argv[3].split(":")]
src_range = [int(v) for v in sys.argv[4].split(":")]
def pcm(path):
    raw = subprocess.run(["mpg123", "-q", "--no-gapless", "-s", path], capture_output=True, check=True).stdout
    return struct.unpack("<%dh" % (len(raw) // 2), raw)
def rms(s, a, b):
    part = s[2 * a * spf:2 * b * spf]
    if len(part) < 2 * spf:
        sys.exit("frames %d..%d are not in the decoded audio" % (a, b))
    return math.sqrt(sum(v * v for v in part) / len(part))
src, out = pcm(work + "/a.mp3"), pcm(work + "/out.mp3")
gain = rms(out, *out_range) / max(1e-9, rms(src, *src_range))
if not 1.6 < gain < 2.4:
    sys.exit("the raised stretch changed by a factor of %.2f, expected about 2 (+6 dB)" % gain)
PY
echo "window end to end at $rate Hz: ok ($frames frames, $samples samples)"
