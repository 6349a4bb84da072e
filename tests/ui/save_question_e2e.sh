#!/usr/bin/env bash
# End to end across processes, the real program under Xvfb with the openbox
# window manager: an instance with an edit shows "  Save changes?  " after
# Alt+F4; Shift+F4 in a second instance meanwhile never answers it. The first
# instance stays open until the question is answered by keys, and the answer
# decides: Escape keeps it open with its edit, No closes it without saving.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"

for tool in Xvfb openbox xdotool python3; do
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
mkdir -p "$HOME" "$XDG_CONFIG_HOME/quorvel" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cp "$sample" "$work/a.mp3"
cp "$sample" "$work/b.mp3"

display=""
for n in $(seq 141 190); do
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
wait_exit() {  # pid -> exit status, or nothing after 10 s
  for _ in $(seq 100); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1" && echo 0 || echo $?
      return 0
    fi
    sleep 0.1
  done
}


# A new user's settings ask before unsaved changes are dropped.
"$bin" "$work/b.mp3" >"$work/first.log" 2>&1 &
first=$!
pids+=($first)
wb=$(find_window '^ Quorvel$') || { cat "$work/first.log"; exit 1; }
xdotool windowactivate --sync "$wb" || true
sleep 1.5
keys alt+c ctrl+a
typed "1"
keys Return
keys alt+w ctrl+a
typed "2"
keys Return
keys ctrl+Delete

# close_request_from_another_instance: what Shift+F4 in a second instance sends to every
# other instance, the close request on its socket, while the question is on.
# (Under openbox the first instance's modal question keeps the keyboard focus,
# so the keys cannot reach a second instance's window; the request it would
# send is sent here as it does.)
close_request_from_another_instance() {
  python3 - "$XDG_RUNTIME_DIR" <<'PY'
import os, socket, sys
folder = sys.argv[1]
names = [n for n in os.listdir(folder) if n.startswith("Quorvel6EXN-")]
assert len(names) == 1, names
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect(os.path.join(folder, names[0]))
s.sendall(b"Quorvel6EXN close\n")
s.close()
PY
}

for round in escape no; do
  xdotool windowactivate --sync "$wb" || true
  sleep 0.5
  keys alt+F4
  q=$(find_window '^closing$') || { echo "no question after Alt+F4"; cat "$work/first.log"; exit 1; }
  close_request_from_another_instance
  sleep 2
  kill -0 "$first" 2>/dev/null || { echo "the close from the second instance answered the question ($round)"; cat "$work/first.log"; exit 1; }
  xdotool search --onlyvisible --name '^closing$' >/dev/null 2>&1 || { echo "the question is gone ($round)"; exit 1; }
  q=$(find_window '^closing$')
  xdotool windowactivate --sync "$q" || true
  if [ "$round" = escape ]; then
    keys Escape
    # The close that waited is made again: the question comes back; Escape again keeps the edit.
    q=$(find_window '^closing$') || { echo "the waiting close was dropped"; exit 1; }
    xdotool windowactivate --sync "$q" || true
    keys Escape
    sleep 2
    kill -0 "$first" 2>/dev/null || { echo "Escape closed the program"; cat "$work/first.log"; exit 1; }
  else
    keys alt+n
  fi
done

s=$(wait_exit "$first")
[ "$s" = "0" ] || { echo "first instance: exit status '${s:-still running}'"; cat "$work/first.log"; exit 1; }
cmp -s "$sample" "$work/b.mp3" || { echo "the declined question changed b.mp3"; exit 1; }
echo "save question against a second instance's close: ok"
