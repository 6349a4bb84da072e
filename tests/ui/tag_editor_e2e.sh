#!/usr/bin/env bash
# End to end through the ID3v2 editor: the real program under Xvfb with
# openbox, driven only by keys. It opens the tagged sample, reaches the
# "Edit id3v2 tag" button from the "ID3v2 tag" box (Alt+2 twice, Tab, Space),
# sets a title with letters outside ASCII and a new comment, accepts with
# Alt+K, saves under a new name through the file dialog and closes; mutagen
# then reads the new title and comment and every other frame as it was.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"
py=/usr/bin/python3  # the system Python, which has mutagen
"$py" -c "import mutagen" || { echo "mutagen is missing"; exit 1; }

source "$(dirname "$0")/e2e_session.sh"

start_program "$work/a.mp3" || exit 1

open_id3v2_editor || exit 1

# The title box has the focus; Enter walks the boxes down to the comment.
keys ctrl+a
typed "Café à Zürich — ☺"
keys Return Return Return Return Return Return Return
keys ctrl+a
typed "edited through the window"
keys alt+k
sleep 0.5

# Save as a new name through the file dialog.
save_as "$main" "$work/out.mp3" "$work/quorvel.log" || exit 1

quit_program || exit 1

"$py" - "$work/a.mp3" "$work/out.mp3" <<'PY'
import sys
from mutagen.id3 import ID3
src, out = ID3(sys.argv[1]), ID3(sys.argv[2])
title = out.getall("TIT2")
if [str(t) for t in title] != ["Café à Zürich — ☺"]:
    sys.exit("title read back as %r" % [str(t) for t in title])
comm = out.getall("COMM::eng")
if [c.text for c in comm] != [["edited through the window"]]:
    sys.exit("comment read back as %r" % [c.text for c in comm])
def others(tag):
    return {k: (repr(v.text) if hasattr(v, "text") else repr(v)) for k, v in tag.items() if k not in ("TIT2", "COMM::eng")}
if others(src) != others(out):
    sys.exit("other frames differ:\n%r\n%r" % (others(src), others(out)))
PY
echo "tag editor end to end: ok"
