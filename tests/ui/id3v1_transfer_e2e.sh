#!/usr/bin/env bash
# End to end through the ID3v1 editor and the tag data transfer: the real
# program under Xvfb with openbox, driven only by keys. It opens a copy of the
# sample without any tag, reaches the "Edit id3v1 tag" button (Shift+Tab from
# the cursor box, as the "ID3v1 tag" box is off without a tag), fills every
# field (the version switched to 1.1 for the track, the genre chosen by typing
# its name), turns on "show dialog", exports to ID3v2 through the "tag data
# transfer" dialog, accepts the ID3v2 editor that opens filled and then the
# ID3v1 editor, saves under a new name and closes. mutagen, `id3v2 -l` and a byte reading of the last 128
# bytes then find the typed values in both tags, and the audio is unchanged.
set -euo pipefail

bin=${QUORVEL_BINARY:?path of the quorvel program}
data=${QUORVEL_TEST_DATA:?tests/data folder}
sample="$data/../../data/sample.mp3"
py=/usr/bin/python3  # the system Python, which has mutagen
"$py" -c "import mutagen" || { echo "mutagen is missing"; exit 1; }
for tool in id3v2 mpg123; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool"; exit 1; }
done

source "$(dirname "$0")/e2e_session.sh"

# a.mp3 without any tag: the editors start empty.
"$py" - "$work/a.mp3" <<'PY'
import sys
from mutagen.id3 import ID3, ID3NoHeaderError
import mutagen.id3
mutagen.id3.delete(sys.argv[1], delete_v1=True, delete_v2=True)
data = open(sys.argv[1], "rb").read()
if data[:3] == b"ID3" or data[-128:-125] == b"TAG":
    sys.exit("the input still holds a tag")
PY

title="Quiet Harbour" artist="Ada Lovelace" album="Night Notes"
year="1999" comment="typed by keys" track="7" genre="Jazz"

start_program "$work/a.mp3" || exit 1

# Without an ID3v1 tag the "ID3v1 tag" box is off, so Alt+1 cannot reach it;
# the button follows in the focus chain, one step back from the cursor box.
keys alt+c
keys shift+Tab space
v1=$(find_window '^ ID3v1 \(footer\) tag editor$') || { cat "$work/quorvel.log"; exit 1; }
xdotool windowactivate --sync "$v1" || true
sleep 0.3

# "show dialog" ends the focus chain: Shift+Tab from the title box reaches it.
keys shift+Tab space Tab
# The title box has the focus; Enter walks title, artist, album, comment and
# year, and then (the track is off in version 1.0) the genre list.
typed "$title"; keys Return
typed "$artist"; keys Return
typed "$album"; keys Return
typed "$comment"; keys Return
typed "$year"; keys Return
typed "$genre"
sleep 0.5
# The version list follows the genre; version 1.1 turns the track box on,
# which comes two steps back.
keys Tab Down
keys shift+Tab shift+Tab ctrl+a
typed "$track"
keys alt+x

dialog=$(find_window '^tag data transfer$') || { echo "no transfer dialog: \"show dialog\" was not reached"; exit 1; }
xdotool windowactivate --sync "$dialog" || true
keys alt+k
# The one-time instructions come with the ID3v2 editor's first opening.
info=$(find_window '^info$')
xdotool windowactivate --sync "$info" || true
keys Return
v2=$(find_window '^ ID3v2 \(header\) tag editor $')
xdotool windowactivate --sync "$v2" || true
sleep 0.3
keys alt+k
sleep 0.5
xdotool windowactivate --sync "$v1" || true
keys alt+k
sleep 0.5

save_as "$main" "$work/out.mp3" "$work/quorvel.log" || exit 1

quit_program || exit 1

"$py" - "$work/out.mp3" "$title" "$artist" "$album" "$year" "$comment" "$track" "$genre" <<'PY'
import sys
from mutagen.id3 import ID3
from mutagen.id3._id3v1 import ParseID3v1
path, title, artist, album, year, comment, track, genre = sys.argv[1:]
data = open(path, "rb").read()
errors = []

# ID3v1.1 by its layout: "TAG", three texts of 30 bytes, a year of 4, a
# comment of 28, a zero byte, the track and the genre number (Jazz: 8).
v1 = data[-128:]
if v1[:3] != b"TAG":
    sys.exit("no ID3v1 tag at the end of the output")
def text(a, b):
    return v1[a:b].rstrip(b"\0 ").decode("latin-1")
got = {"title": text(3, 33), "artist": text(33, 63), "album": text(63, 93), "year": text(93, 97),
       "comment": text(97, 125), "zero": v1[125], "track": v1[126], "genre": v1[127]}
want = {"title": title, "artist": artist, "album": album, "year": year, "comment": comment,
        "zero": 0, "track": int(track), "genre": 8}
if got != want:
    errors.append("ID3v1 bytes read as %r, expected %r" % (got, want))
frames = ParseID3v1(v1)
parsed = {k: (v.genres[0] if k == "TCON" and v.genres else str(v)) for k, v in frames.items()}
want_parsed = {"TIT2": title, "TPE1": artist, "TALB": album, "TDRC": year, "COMM": comment,
               "TRCK": track, "TCON": genre}
if parsed != want_parsed:
    errors.append("mutagen's ID3v1 reading: %r, expected %r" % (parsed, want_parsed))

# The ID3v2 tag that the transfer filled.
tag = ID3(path, load_v1=False)  # the ID3v2 tag alone, without mutagen merging the ID3v1 frames
def one(key):
    got = tag.getall(key)
    return [str(f) for f in got]
for key, value in (("TIT2", title), ("TPE1", artist), ("TALB", album)):
    if one(key) != [value]:
        errors.append("ID3v2 %s reads %r, expected %r" % (key, one(key), value))
if [str(f) for f in tag.getall("TDRC")] != [year]:
    errors.append("ID3v2 year reads %r" % [str(f) for f in tag.getall("TDRC")])
if [str(f).split("/")[0] for f in tag.getall("TRCK")] != [track]:
    errors.append("ID3v2 track reads %r" % one("TRCK"))
if [f.genres for f in tag.getall("TCON")] != [[genre]]:
    errors.append("ID3v2 genre reads %r" % [f.genres for f in tag.getall("TCON")])
if [f.text for f in tag.getall("COMM")] != [[comment]]:
    errors.append("ID3v2 comments read %r" % [(f.desc, f.lang, f.text) for f in tag.getall("COMM")])
if errors:
    sys.exit("\n".join(errors))
PY

# id3v2 (id3lib) lists both tags with the typed texts.
id3v2 -l "$work/out.mp3" >"$work/list.txt" 2>&1 || { echo "id3v2 -l failed"; cat "$work/list.txt"; exit 1; }
grep -q "^id3v1 tag info" "$work/list.txt" && grep -q "^id3v2 tag info" "$work/list.txt" \
  || { echo "id3v2 -l does not find both tags"; cat "$work/list.txt"; exit 1; }
for value in "$title" "$artist" "$album" "$year" "$comment"; do
  [ "$(grep -cF -- "$value" "$work/list.txt")" -ge 2 ] || { echo "id3v2 -l lists '$value' fewer than twice"; cat "$work/list.txt"; exit 1; }
done

# The audio between the tags is the input's, so it decodes the same.
cmp <(mpg123 -q -s "$work/a.mp3" 2>/dev/null) <(mpg123 -q -s "$work/out.mp3" 2>/dev/null) \
  || { echo "the output's audio decodes differently"; exit 1; }
echo "ID3v1 editor and transfer end to end: ok"
