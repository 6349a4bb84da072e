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

source "$(dirname "$0")/e2e_session.sh"


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
