# Shared start of the end-to-end scripts that run several instances: the tools,
# a scratch home with a.mp3 and b.mp3, Xvfb on a free display with openbox, and
# helpers to find windows, press keys, type and wait for an instance to exit.
# Sourced after bin, data and sample are set; the caller adds to pids.
for tool in Xvfb openbox xdotool xclip python3; do
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
# Text into the focused box. ASCII is typed key by key. For any other
# character xdotool would bind a spare key code to it for one press and take
# the binding back at once; a program that reads the keyboard map late (under
# load) then finds no character there and drops it. Such text goes through the
# clipboard instead and is pasted whole with Ctrl+V, after xclip is seen to
# own the clipboard with exactly that text.
typed() {
  if [[ "$1" != *[![:ascii:]]* ]]; then
    xdotool type --clearmodifiers --delay 40 "$1"
  else
    printf '%s' "$1" | xclip -selection clipboard -in >/dev/null 2>&1
    local held=""
    for _ in $(seq 50); do
      held=$(xclip -selection clipboard -out 2>/dev/null || true)
      [ "$held" = "$1" ] && break
      sleep 0.1
    done
    [ "$held" = "$1" ] || { echo "the clipboard does not hold the text to paste: $1" >&2; return 1; }
    xdotool key --clearmodifiers ctrl+v
  fi
  sleep 0.2
}
wait_exit() {  # pid -> exit status, or nothing after 10 s
  for _ in $(seq 100); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1" && echo 0 || echo $?
      return 0
    fi
    sleep 0.1
  done
}
save_as() {  # main window id, target path, log: Alt+A, the path typed into "Save as", waits for the file
  xdotool windowactivate --sync "$1" || true
  keys alt+a
  local dialog
  dialog=$(find_window '^Save as$') || { echo "no Save as dialog"; return 1; }
  xdotool windowactivate --sync "$dialog" || true
  keys ctrl+a
  typed "$2"
  keys Return
  for _ in $(seq 100); do [ -s "$2" ] && break; sleep 0.1; done
  [ -s "$2" ] || { echo "the output was not written"; cat "$3"; return 1; }
  sleep 0.5
}
start_program() {  # file: starts the program on it (log in $work/quorvel.log); sets app and main
  "$bin" "$1" >"$work/quorvel.log" 2>&1 &
  app=$!
  pids+=($app)
  main=$(find_window '^ Quorvel$') || { cat "$work/quorvel.log"; return 1; }
  xdotool windowactivate --sync "$main" || true
  sleep 1.5  # the first activation loads the file
}
quit_program() {  # Alt+F4 in the main window; the program must end with status 0
  xdotool windowactivate --sync "$main" || true
  keys alt+F4
  local status
  status=$(wait_exit "$app")
  [ -n "$status" ] || { echo "the program did not end after closing its window"; for w in $(xdotool search --onlyvisible --name "." 2>/dev/null); do echo "open: $(xdotool getwindowname "$w")"; done; cat "$work/quorvel.log"; return 1; }
  [ "$status" -eq 0 ] || { echo "exit status $status"; cat "$work/quorvel.log"; return 1; }
}
open_id3v2_editor() {  # Alt+2 twice leaves the box as it was; Tab reaches its "..." button, Space opens the editor; sets editor
  keys alt+2
  sleep 0.3
  keys alt+2
  keys Tab space
  # The one-time instructions come with the first opening.
  local info
  info=$(find_window '^info$') || return 1
  xdotool windowactivate --sync "$info" || true
  keys Return
  editor=$(find_window '^ ID3v2 \(header\) tag editor $') || return 1
  xdotool windowactivate --sync "$editor" || true
  sleep 0.3
}
# What Shift+F4 in a second instance sends to every other instance: the close
# request on the one running instance's socket. (Under openbox a modal question
# of the running instance keeps the keyboard focus, so keys cannot reach a
# second instance's window; the request it would send is sent here as it does.)
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
