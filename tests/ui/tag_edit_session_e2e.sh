#!/usr/bin/env bash
# End to end: a tag edit is an edit of the document. The real program under
# Xvfb with openbox, driven only by keys, started afresh for each case:
#  - a quick save (Alt+S in the main window) while the ID3v2 editor is open with
#    a typed title, onto the source file that holds a TPE2 field: the program
#    keeps running and ends normally; mutagen reads the new title and every
#    other frame as before, mpg123 decodes the same audio, mp3val finds no fault;
#  - the same quick save with " Reload after overwriting the source file" on:
#    the editor comes back on the reloaded tag and takes keys, and what is typed
#    there is saved after the title it holds;
#  - a title confirmed with O&K, then Alt+F4: "  Save changes?  " is asked;
#    No closes the program and leaves the file as it was;
#  - the same question answered "&YES" after another instance asked every
#    instance to close: the "Save as" dialog comes, the file is saved under the
#    name typed there, and only then does the program end.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"
py=/usr/bin/python3  # the system Python, which has mutagen
"$py" -c "import mutagen" || { echo "mutagen is missing"; exit 1; }
for tool in mpg123 mp3val; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done

source "$(dirname "$0")/e2e_session.sh"

# Each case starts with a new user's settings: the prompt before dropping
# changes is on, a quick save replaces the source without a question and does
# not reload it, and the editor's one-time instructions come again.
fresh_settings() {
  rm -rf "$XDG_CONFIG_HOME/quorvel"
  mkdir -p "$XDG_CONFIG_HOME/quorvel"
}

# mutagen's view of a file's ID3v2 frames, one line per frame, without TIT2.
frames_but_title() {
  "$py" - "$1" <<'PY'
import sys
from mutagen.id3 import ID3
tag = ID3(sys.argv[1])
for key in sorted(tag.keys()):
    if key != "TIT2":
        print(key, repr(tag[key]))
PY
}
title_of() {
  "$py" -c 'import sys; from mutagen.id3 import ID3; print(repr([str(t) for t in ID3(sys.argv[1]).getall("TIT2")]))' "$1"
}
wait_title() {  # file, expected repr of the title list: polls for the saved file
  local seen=""
  for _ in $(seq 100); do
    seen=$(title_of "$1" 2>/dev/null || true)
    [ "$seen" = "$2" ] && return 0
    sleep 0.1
  done
  echo "title of $1 read back as ${seen:-nothing}, expected $2"
  return 1
}
wait_window_gone() {  # name pattern
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  echo "the window '$1' is still shown"
  return 1
}
wait_active() {  # name pattern: polls until a window of that name has the focus
  local active=""
  for _ in $(seq 100); do
    active=$(xdotool getactivewindow 2>/dev/null || true)
    [ -n "$active" ] && xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -qx "$active" && return 0
    sleep 0.1
  done
  echo "the focus is in '$( [ -n "$active" ] && xdotool getwindowname "$active")', not in a window named '$1'"
  return 1
}
show_windows() {
  for w in $(xdotool search --onlyvisible --name "." 2>/dev/null); do echo "open: $(xdotool getwindowname "$w")"; done
}
type_title() {  # the title box has the focus when the editor opens
  keys ctrl+a
  typed "$1"
}

# --- Quick save onto the source with the editor open -------------------------
fresh_settings
cp "$sample" "$work/band.mp3"
"$py" - "$work/band.mp3" <<'PY'
import sys
from mutagen.id3 import ID3, TPE2
tag = ID3(sys.argv[1])
tag.add(TPE2(encoding=1, text=["Band Two"]))
tag.save(v2_version=3)
PY
cp "$work/band.mp3" "$work/band.orig.mp3"
frames_but_title "$work/band.orig.mp3" >"$work/band.frames"
grep -q "^TPE2 .*Band Two" "$work/band.frames" || { echo "the TPE2 field was not added"; exit 1; }

start_program "$work/band.mp3" || exit 1
open_id3v2_editor || exit 1
type_title "Saved while open"
xdotool windowactivate --sync "$main" || true
keys alt+s
wait_title "$work/band.mp3" "['Saved while open']" || { show_windows; cat "$work/quorvel.log"; exit 1; }
# The save replaced the source, which closes the document (a new user's settings
# do not reload it) and with it the editor; the program stays with its window.
wait_window_gone '^ ID3v2 \(header\) tag editor $' || { show_windows; cat "$work/quorvel.log"; exit 1; }
kill -0 "$app" 2>/dev/null || { echo "the program ended after the quick save: exit status $(wait_exit "$app")"; cat "$work/quorvel.log"; exit 1; }
xdotool search --onlyvisible --name '^ Quorvel$' >/dev/null 2>&1 || { echo "the main window is gone after the quick save"; show_windows; exit 1; }
quit_program || exit 1

frames_but_title "$work/band.mp3" >"$work/band.saved.frames"
diff "$work/band.frames" "$work/band.saved.frames" || { echo "frames other than the title changed in the quick save"; exit 1; }
cmp <(mpg123 -q -s "$work/band.orig.mp3" 2>/dev/null) <(mpg123 -q -s "$work/band.mp3" 2>/dev/null) \
  || { echo "mpg123 decodes other audio after the quick save"; exit 1; }
[ "$(mpg123 -q -s "$work/band.mp3" 2>/dev/null | wc -c)" -gt 0 ] || { echo "mpg123 decodes nothing"; exit 1; }
mp3val "$work/band.mp3" >"$work/mp3val.log" 2>&1 || { echo "mp3val failed"; cat "$work/mp3val.log"; exit 1; }
if grep -E "WARNING|ERROR" "$work/mp3val.log"; then echo "mp3val finds faults in the saved file"; exit 1; fi
echo "quick save with the ID3v2 editor open: ok"

# --- Quick save that reloads the source: the editor comes back and goes on -----
fresh_settings
cp "$sample" "$work/reloaded.mp3"
frames_but_title "$work/reloaded.mp3" >"$work/reloaded.frames"
start_program "$work/reloaded.mp3" || exit 1
quit_program || exit 1
# " Reload after overwriting the source file" on (mainFlags 0x01, byte 208).
"$py" - "$XDG_CONFIG_HOME/quorvel/quorvel.ini" <<'PY'
import sys
p = sys.argv[1]
b = bytearray(open(p, "rb").read())
assert b[:4] == bytes([0xF0, 0xF6, 0x0B, 0xFF]), "no settings file was written"
b[208] |= 0x01
open(p, "wb").write(bytes(b))
PY
start_program "$work/reloaded.mp3" || exit 1
open_id3v2_editor || exit 1
type_title "Reloaded"
xdotool windowactivate --sync "$main" || true
keys alt+s
wait_title "$work/reloaded.mp3" "['Reloaded']" || { show_windows; cat "$work/quorvel.log"; exit 1; }
# The save closes the editor with the document, and once the source is loaded
# again the editor opens on it and takes the focus from the main window. Text
# added at the end of its title box is then saved after the title it holds.
wait_active '^ ID3v2 \(header\) tag editor $' || { echo "the ID3v2 editor did not come back after the reload"; show_windows; cat "$work/quorvel.log"; exit 1; }
keys End
typed " again"
keys alt+k
wait_window_gone '^ ID3v2 \(header\) tag editor $' || exit 1
xdotool windowactivate --sync "$main" || true
keys alt+s
wait_title "$work/reloaded.mp3" "['Reloaded again']" || { show_windows; cat "$work/quorvel.log"; exit 1; }
quit_program || exit 1
frames_but_title "$work/reloaded.mp3" >"$work/reloaded.saved.frames"
diff "$work/reloaded.frames" "$work/reloaded.saved.frames" || { echo "frames other than the title changed in the saves"; exit 1; }
echo "quick save that reloads the source, the editor open: ok"

# --- A confirmed tag edit is asked about; No keeps the file --------------------
fresh_settings
cp "$sample" "$work/asked.mp3"
start_program "$work/asked.mp3" || exit 1
open_id3v2_editor || exit 1
type_title "Not to be kept"
keys alt+k
wait_window_gone '^ ID3v2 \(header\) tag editor $' || exit 1
xdotool windowactivate --sync "$main" || true
keys alt+F4
q=$(find_window '^closing$') || { echo "no question after a confirmed tag edit and Alt+F4"; show_windows; cat "$work/quorvel.log"; exit 1; }
xdotool windowactivate --sync "$q" || true
keys alt+n
s=$(wait_exit "$app")
[ "$s" = "0" ] || { echo "after No: exit status '${s:-still running}'"; show_windows; cat "$work/quorvel.log"; exit 1; }
cmp -s "$sample" "$work/asked.mp3" || { echo "the declined question changed the file"; exit 1; }
echo "save question after a tag edit: ok"

# --- Yes saves through "Save as" although another instance asked to close ------
fresh_settings
cp "$sample" "$work/kept.mp3"
start_program "$work/kept.mp3" || exit 1
open_id3v2_editor || exit 1
type_title "Kept through Save as"
keys alt+k
wait_window_gone '^ ID3v2 \(header\) tag editor $' || exit 1
xdotool windowactivate --sync "$main" || true
keys alt+F4
q=$(find_window '^closing$') || { echo "no question after a confirmed tag edit and Alt+F4"; show_windows; cat "$work/quorvel.log"; exit 1; }
close_request_from_another_instance
# Nothing to poll for: the request must leave the question as it is.
sleep 2
kill -0 "$app" 2>/dev/null || { echo "the close from another instance ended the program during the question"; cat "$work/quorvel.log"; exit 1; }
q=$(find_window '^closing$') || { echo "the question is gone after the close from another instance"; show_windows; exit 1; }
xdotool windowactivate --sync "$q" || true
keys alt+y
dialog=$(find_window '^Save as$') || { echo "no Save as dialog after Yes"; show_windows; echo "exit status: $(wait_exit "$app")"; cat "$work/quorvel.log"; exit 1; }
xdotool windowactivate --sync "$dialog" || true
keys ctrl+a
typed "$work/kept.saved.mp3"
keys Return
wait_title "$work/kept.saved.mp3" "['Kept through Save as']" || { show_windows; cat "$work/quorvel.log"; exit 1; }
s=$(wait_exit "$app")
[ "$s" = "0" ] || { echo "after Yes and Save as: exit status '${s:-still running}'"; show_windows; cat "$work/quorvel.log"; exit 1; }
cmp -s "$sample" "$work/kept.mp3" || { echo "Save as under a new name changed the source"; exit 1; }
frames_but_title "$work/kept.mp3" >"$work/kept.frames"
frames_but_title "$work/kept.saved.mp3" >"$work/kept.saved.frames"
diff "$work/kept.frames" "$work/kept.saved.frames" || { echo "frames other than the title changed in the save"; exit 1; }
echo "Yes after another instance's close saves through Save as: ok"
