#!/usr/bin/env bash
# End to end across processes, the real program under Xvfb with the openbox
# window manager: a damaged settings file is reported and opens no file; later
# instances keep the first one's working files; Shift+F4 in one of three
# instances closes all three, the one with an unsaved change asking "  Save
# changes?  " first. Every instance exits with status 0 and leaves no socket.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"

source "$(dirname "$0")/e2e_session.sh"

# A damaged settings file: the start shows the configuration message, opens
# none of the command line's file and writes the defaults back. Then the
# question about unsaved changes is switched on (mainFlags 0x02, byte 208).
printf 'not a settings file' >"$XDG_CONFIG_HOME/quorvel/quorvel.ini"
"$bin" "$work/a.mp3" >"$work/first.log" 2>&1 &
first=$!
pids+=($first)
msg=$(find_window '^Quorvel$') || { cat "$work/first.log"; exit 1; }
xdotool windowactivate --sync "$msg" || true
keys alt+k
w=$(find_window '^ Quorvel$')
xdotool windowactivate --sync "$w" || true
sleep 0.5
keys alt+F4
[ "$(wait_exit $first)" = "0" ] || { echo "the start with a damaged settings file did not end"; cat "$work/first.log"; exit 1; }
python3 - "$XDG_CONFIG_HOME/quorvel/quorvel.ini" <<'PY'
import sys
p = sys.argv[1]
b = bytearray(open(p, "rb").read())
assert b[:4] == bytes([0xF0, 0xF6, 0x0B, 0xFF]), "the defaults were not written back"
# No file was opened, so none entered the recent files list.
assert "a.mp3".encode("utf-16-le") not in b, "the command line's file was opened"
b[208] |= 0x02
open(p, "wb").write(bytes(b))
PY

# Three instances: B gets an unsaved change (a deleted stretch).
"$bin" "$work/b.mp3" >"$work/b.log" 2>&1 &
b=$!
pids+=($b)
wb=$(find_window '^ Quorvel$')
xdotool windowactivate --sync "$wb" || true
sleep 1.5
keys alt+c ctrl+a
typed "1"
keys Return
keys alt+w ctrl+a
typed "2"
keys Return
keys ctrl+Delete

# A working file of the first instance: later instances leave it alone.
printf 'held' >"$XDG_CONFIG_HOME/quorvel/quorvel.Preview.mp3"
"$bin" "$work/a.mp3" >"$work/c.log" 2>&1 &
c=$!
pids+=($c)
sleep 2
"$bin" >"$work/a.log" 2>&1 &
a=$!
pids+=($a)
sleep 2
sockets=$(ls "$XDG_RUNTIME_DIR" | grep -c '^Quorvel6EXN-' || true)
[ "$sockets" -eq 3 ] || { echo "expected 3 instance sockets, found $sockets"; ls -la "$XDG_RUNTIME_DIR"; exit 1; }
[ -f "$XDG_CONFIG_HOME/quorvel/quorvel.Preview.mp3" ] || { echo "a second instance deleted the first one's working file"; exit 1; }

# Shift+F4 (acting when the key goes up) in the newest instance.
wa=$(xdotool search --onlyvisible --pid "$a" --name '^ Quorvel$' | head -1)
[ -n "$wa" ] || { echo "the third instance has no window"; exit 1; }
xdotool windowactivate --sync "$wa" || true
sleep 0.5
keys shift+F4

# B asks about its change; "&NO" closes it without saving.
q=$(find_window '^closing$') || {
  for p in $a $b $c; do kill -0 "$p" 2>/dev/null && echo "instance $p still runs"; done
  for w in $(xdotool search --onlyvisible --name "." 2>/dev/null); do echo "open: $(xdotool getwindowname "$w")"; done
  cat "$work/a.log" "$work/b.log" "$work/c.log"; exit 1; }
xdotool windowactivate --sync "$q" || true
keys alt+n

for p in $a $b $c; do
  s=$(wait_exit "$p")
  [ "$s" = "0" ] || { echo "instance $p: exit status '${s:-still running}'"; cat "$work/a.log" "$work/b.log" "$work/c.log"; exit 1; }
done
left=$(ls "$XDG_RUNTIME_DIR" | grep -c '^Quorvel6EXN-' || true)
[ "$left" -eq 0 ] || { echo "sockets left behind: $left"; ls -la "$XDG_RUNTIME_DIR"; exit 1; }
cmp -s "$sample" "$work/b.mp3" || { echo "the declined question changed b.mp3"; exit 1; }
echo "close all instances end to end: ok"
