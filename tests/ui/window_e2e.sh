#!/usr/bin/env bash
# End to end through the window: the real program under Xvfb with the openbox
# window manager, driven only by keys (xdotool). It opens a file from the
# command line, selects 1 s to 2 s with the position boxes, deletes, undoes,
# deletes again, raises the volume of a selection, saves under a new name
# through the file dialog and closes the window; then ffprobe counts the frames
# of the output, mpg123 decodes it, and the exit status must be 0.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"

for tool in Xvfb openbox xdotool ffprobe mpg123 python3; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cp "$sample" "$work/in.mp3"

# Without any display or platform plugin, --info and a silent run still work:
# they never start the window.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-plugin "$bin" --info "$work/in.mp3" >"$work/info.txt"
grep -q "frames: 156" "$work/info.txt" || { echo "--info without a display failed"; cat "$work/info.txt"; exit 1; }
printf 'LOAD "%s"\r\nDELETE 0 1\r\nSAVEAS "%s"\r\n' "$work/in.mp3" "$work/silent.mp3" >"$work/script.txt"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-plugin "$bin" --script "$work/script.txt" 2>"$work/silent.log" \
  || { echo "silent run without a display failed"; cat "$work/silent.log"; exit 1; }
[ -s "$work/silent.mp3" ] || { echo "the silent run wrote nothing"; exit 1; }

# A free display number.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

unset QT_QPA_PLATFORM
"$bin" "$work/in.mp3" >"$work/quorvel.log" 2>&1 &
app=$!
pids+=($app)

find_window() {  # name pattern -> window id
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "window not found: $1" >&2
  return 1
}
keys() { xdotool key --clearmodifiers --delay 60 "$@"; sleep 0.4; }
typed() { xdotool type --clearmodifiers --delay 40 "$1"; sleep 0.2; }

main=$(find_window '^ Quorvel$')
xdotool windowactivate --sync "$main" || true
sleep 1.5  # the first activation loads the file

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

# A new selection from 1 s to 1.5 s, raised by 4 steps (+6 dB).
keys alt+c ctrl+a
typed "1"
keys Return
keys alt+w ctrl+a
typed "1.5"
keys Return
keys alt+v
volume=$(find_window '^Volume and balance change$')
xdotool windowactivate --sync "$volume" || true
keys Right Right Right Right
keys alt+k
sleep 0.5

# Save as a new name through the file dialog.
xdotool windowactivate --sync "$main" || true
keys alt+a
dialog=$(find_window '^Save as$')
xdotool windowactivate --sync "$dialog" || true
keys ctrl+a
typed "$work/out.mp3"
keys Return
for _ in $(seq 100); do [ -s "$work/out.mp3" ] && break; sleep 0.1; done
[ -s "$work/out.mp3" ] || { echo "the output was not written"; cat "$work/quorvel.log"; exit 1; }
sleep 0.5

# Close the window; nothing is left unsaved, so no question comes.
xdotool windowactivate --sync "$main" || true
keys alt+F4
status=""
for _ in $(seq 100); do
  if ! kill -0 "$app" 2>/dev/null; then
    wait "$app" && status=0 || status=$?
    break
  fi
  sleep 0.1
done
[ -n "$status" ] || { echo "the program did not end after closing its window"; for w in $(xdotool search --onlyvisible --name "." 2>/dev/null); do echo "open: $(xdotool getwindowname $w)"; done; cat "$work/quorvel.log"; exit 1; }
[ "$status" -eq 0 ] || { echo "exit status $status"; cat "$work/quorvel.log"; exit 1; }

# Expected frames: 156 in the sample; the boxes place 1 s and 2 s on the nearest
# boundaries of 1152-sample frames at 44.1 kHz; the output's Info frame (LAME's,
# written again) is no audio frame: ffprobe and mpg123 skip it.
expected=$(python3 -c '
d = 1152 / 44100
deleted = round(2 / d) - round(1 / d)
print(156 - deleted - 1)')
frames=$(ffprobe -v error -count_packets -select_streams a:0 -show_entries stream=nb_read_packets -of csv=p=0 "$work/out.mp3")
[ "$frames" = "$expected" ] || { echo "ffprobe counts $frames frames, expected $expected"; exit 1; }
samples=$(( $(mpg123 -q --no-gapless -s "$work/out.mp3" 2>/dev/null | wc -c) / 4 ))
[ "$samples" -eq $(( expected * 1152 )) ] || { echo "mpg123 decodes $samples samples, expected $(( expected * 1152 ))"; exit 1; }

# The raised stretch is louder than the same audio in the source.
python3 - "$work" <<'PY'
import subprocess, sys, struct, math
work = sys.argv[1]
def pcm(path):
    raw = subprocess.run(["mpg123", "-q", "--no-gapless", "-s", path], capture_output=True, check=True).stdout
    return struct.unpack("<%dh" % (len(raw) // 2), raw)
def rms(s, a, b):
    part = s[2 * a * 1152:2 * b * 1152]
    return math.sqrt(sum(v * v for v in part) / max(1, len(part)))
src, out = pcm(work + "/in.mp3"), pcm(work + "/out.mp3")
# Source frames 77..96 (the raised stretch after the delete) lie at 38..57 in the edit,
# and at 37..56 in the output's audio after its Info frame; the source's audio starts at frame 1.
gain = rms(out, 38, 55) / max(1e-9, rms(src, 78, 95))
if not 1.6 < gain < 2.4:
    sys.exit("the raised stretch changed by a factor of %.2f, expected about 2 (+6 dB)" % gain)
PY
echo "window end to end: ok ($frames frames, $samples samples)"
