#!/usr/bin/env bash
# End to end through the ID3v2 editor's picture list: the real program under
# Xvfb with openbox, driven only by keys. mutagen gives a copy of the sample a
# tag that holds nothing but a cover picture (a small PNG); the program opens
# it, reaches the "Edit id3v2 tag" button (Alt+2 twice, Tab, Space), walks the
# focus chain from the title box to the picture list's "Load from file",
# picks a second PNG in "Choose the picture file", accepts with Alt+K, saves
# under a new name and closes. mutagen then reads the new picture byte for
# byte, and mpg123 decodes the same audio from input and output.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"
py=/usr/bin/python3  # the system Python, which has mutagen
"$py" -c "import mutagen" || { echo "mutagen is missing"; exit 1; }
command -v mpg123 >/dev/null || { echo "missing tool: mpg123"; exit 1; }

source "$(dirname "$0")/e2e_session.sh"

# Two PNG files written by hand (signature, IHDR, IDAT, IEND) of different
# sizes and colours; a.mp3 gets the first as its only ID3v2 frame.
"$py" - "$work/a.mp3" "$work/cover1.png" "$work/cover2.png" <<'PY'
import struct, sys, zlib
import mutagen.id3
from mutagen.id3 import ID3, APIC

def png(width, height, rgb):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))

path, first, second = sys.argv[1:]
open(first, "wb").write(png(4, 3, (200, 30, 30)))
open(second, "wb").write(png(9, 7, (20, 90, 220)))
mutagen.id3.delete(path, delete_v1=True, delete_v2=True)
tag = ID3()
tag.add(APIC(encoding=0, mime="image/png", type=3, desc="cover", data=open(first, "rb").read()))
tag.save(path, v2_version=3)
if [f.data for f in ID3(path).getall("APIC")] != [open(first, "rb").read()]:
    sys.exit("the input's picture was not written")
PY

start_program "$work/a.mp3" || exit 1

open_id3v2_editor || exit 1

# From the title box the focus chain runs through the other 13 main boxes
# (with the comment's language and "..." between comment and year), then the
# "Add a field" buttons of the empty text, mixed and binary lists (their
# other controls are off), then the picture list, "Remove field", "Add a
# field", "View current", "Save original" and "Load from file": 22 steps.
for _ in $(seq 22); do xdotool key --clearmodifiers Tab; sleep 0.1; done
keys space
dialog=$(find_window '^Choose the picture file$') || { echo "Tab did not reach the picture's \"Load from file\""; exit 1; }
xdotool windowactivate --sync "$dialog" || true
keys ctrl+a
typed "$work/cover2.png"
keys Return
sleep 0.5
xdotool windowactivate --sync "$editor" || true
keys alt+k
sleep 0.5

save_as "$main" "$work/out.mp3" "$work/quorvel.log" || exit 1

quit_program || exit 1

"$py" - "$work/out.mp3" "$work/cover2.png" <<'PY'
import sys
from mutagen.id3 import ID3
out, second = ID3(sys.argv[1]), open(sys.argv[2], "rb").read()
pictures = out.getall("APIC")
if len(pictures) != 1:
    sys.exit("%d pictures in the output" % len(pictures))
p = pictures[0]
if p.data != second:
    sys.exit("the picture holds %d bytes that are not the loaded file's %d" % (len(p.data), len(second)))
if (p.mime, p.type, p.desc) != ("image/png", 3, "cover"):
    sys.exit("the picture's header changed: %r" % ((p.mime, p.type, p.desc),))
PY

cmp <(mpg123 -q -s "$work/a.mp3" 2>/dev/null) <(mpg123 -q -s "$work/out.mp3" 2>/dev/null) \
  || { echo "the output's audio decodes differently"; exit 1; }
echo "picture end to end: ok"
