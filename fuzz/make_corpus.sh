#!/usr/bin/env bash
# Makes the seed corpus of analysis_fuzz (fuzz/corpus/analysis/) from the test fixtures:
# heads and tails of real files, files cut inside a frame, an ID3v2 tag without audio,
# a RIFF head, free-format frames, junk between frames, and plain junk. Small on purpose.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 - "$here/../tests/data" "$here/corpus/analysis" <<'PY'
import os, sys

data, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]
freq = [44100, 48000, 32000, 0]

def read(name):
    return open(os.path.join(data, name), "rb").read()

def frames(buf, start, count):
    """The first count frames of buf from start (MPEG-1 Layer III, sizes from the headers)."""
    pos = start
    for _ in range(count):
        h2 = buf[pos + 2]
        pos += 144000 * kbps[h2 >> 4] // freq[(h2 >> 2) & 3] + ((h2 >> 1) & 1)
    return buf[start:pos]

def save(name, blob):
    open(os.path.join(out, name), "wb").write(blob)

cbr = read("cbr128-info.mp3")
save("cbr128-3frames.mp3", frames(cbr, 0, 3))
save("cbr128-cut-in-frame.mp3", frames(cbr, 0, 3)[:1000])
save("vbr-xing-3frames.mp3", frames(read("vbr-xing.mp3"), 0, 3))
save("mono-2frames.mp3", frames(read("mono-44k.mp3"), 0, 2))
save("crc-2frames.mp3", frames(read("crc.mp3"), 0, 2))
save("48k-2frames.mp3", frames(read("48k.mp3"), 0, 2))
save("32k-2frames.mp3", frames(read("32k.mp3"), 0, 2))
save("mpeg2-head.mp3", read("mpeg2-22k.mp3")[:600])

# MPEG-2 and MPEG-2.5 Layer III: 72 x bitrate / frequency bytes a frame.
lower_kbps = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0]
lower_freq = {2: [22050, 24000, 16000, 0], 0: [11025, 12000, 8000, 0]}

def lower_frames(buf, start, count):
    pos = start
    for _ in range(count):
        h1, h2 = buf[pos + 1], buf[pos + 2]
        pos += 72000 * lower_kbps[h2 >> 4] // lower_freq[(h1 >> 3) & 3][(h2 >> 2) & 3] + ((h2 >> 1) & 1)
    return buf[start:pos]

save("lower-mpeg25-8k-vbr-3frames.mp3", lower_frames(read("mpeg25-8k-vbr.mp3"), 0, 3))
save("lower-mpeg25-12k-mono-2frames.mp3", lower_frames(read("mpeg25-12k-mono-info.mp3"), 0, 2))
save("lower-mpeg2-22k-crc-3frames.mp3", lower_frames(read("mpeg2-22k-crc.mp3"), 0, 3))
save("lower-mpeg2-16k-vbr-cut-in-frame.mp3", lower_frames(read("mpeg2-16k-vbr.mp3"), 0, 3)[:-40])
save("lower-mpeg2-then-mpeg1.mp3", lower_frames(read("mpeg2-22k-64k.mp3"), 0, 2) + frames(cbr, 0, 2))

tagged = read("tagged-v23-v1.mp3")
save("id3v23-2frames-v1.mp3", tagged[:348] + frames(tagged, 348, 2) + tagged[-128:])
# An ID3v2.4 tag with the footer flag, one text frame and its footer.
body = b"TIT2" + bytes([0, 0, 0, 6, 0, 0]) + b"\x03Tone\x00"
header = b"ID3\x04\x00\x10" + bytes([0, 0, 0, len(body)])
save("id3v24-footer-2frames.mp3", header + body + b"3DI\x04\x00\x10" + bytes([0, 0, 0, len(body)]) +
     frames(cbr, 0, 2))
save("id3v23-only-padding.mp3", b"ID3\x03\x00\x00\x00\x00\x02\x5e" + bytes(350))

riff = read("riff-wrapped.wav")
save("riff-2frames.wav", riff[:70] + frames(riff, 70, 2))

lyrics = read("lyrics3v2-v1.mp3")
plain = read("cbr96-no-info.mp3")
save("2frames-lyrics3v2-v1.mp3", frames(plain, 0, 2) + lyrics[len(plain):])
save("2frames-lyrics3v1.mp3", frames(plain, 0, 2) + b"LYRICSBEGINHello" + b"LYRICSEND")
save("junk-head-2frames-footer.mp3", b"JUNKHEAD" * 5 + frames(plain, 0, 2) + b"JUNKFOOT" * 5)
two = frames(plain, 0, 2)
first_len = len(frames(plain, 0, 1))
save("5-junk-bytes-between-frames.mp3", two[:first_len] + b"junk!" + two[first_len:])

# Free format: the same frames with bitrate index 0.
ff = bytearray(frames(plain, 0, 3))
pos = 0
for _ in range(3):
    h2 = ff[pos + 2]
    length = 144000 * kbps[h2 >> 4] // freq[(h2 >> 2) & 3] + ((h2 >> 1) & 1)
    ff[pos + 2] = h2 & 0x0F
    pos += length
save("free-format-3frames.mp3", bytes(ff))

# Deterministic junk with a few sync-looking bytes.
state = 12345
junk = bytearray()
for _ in range(700):
    state = (state * 1103515245 + 12345) & 0x7FFFFFFF
    junk.append((state >> 16) & 0xFF)
junk[100:104] = b"\xff\xfb\x90\x44"
save("junk-with-sync.bin", bytes(junk))
PY
du -sh "$here/corpus/analysis"

# The seeds of writer_fuzz (fuzz/corpus/writer/): each analysis seed behind an
# 8-byte edit program (edit count, three edits of op, a, b, then the range
# byte), and two files whose last frame is a piece shorter than its side
# information.
python3 - "$here/corpus/analysis" "$here/corpus/writer" "$here/../tests/data" <<'PY'
import os, sys

src, out, data = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(out, exist_ok=True)
programs = [bytes([0, 0, 0, 0, 0, 0, 0, 0]), bytes([3, 0, 1, 2, 1, 3, 5, 0]),
            bytes([2, 3, 2, 7, 0, 1, 0, 3]), bytes([1, 1, 0, 1, 9, 9, 2, 5])]
names = sorted(n for n in os.listdir(src) if not n.startswith("lower-"))
for i, name in enumerate(names):
    blob = open(os.path.join(src, name), "rb").read()
    open(os.path.join(out, name), "wb").write(programs[i % len(programs)] + blob)
cbr = open(os.path.join(data, "cbr96-no-info.mp3"), "rb").read()
tag = b"TAG" + b"Short" + bytes(119) + bytes([12])
open(os.path.join(out, "3frames-10-byte-piece-id3v1.mp3"), "wb").write(programs[1] + cbr[:940] + cbr[:10] + tag)
open(os.path.join(out, "3frames-cut-after-header.mp3"), "wb").write(programs[3] + cbr[:940] + cbr[:4])
# The MPEG-2/2.5 seeds, each behind every program.
for name in sorted(n for n in os.listdir(src) if n.startswith("lower-")):
    blob = open(os.path.join(src, name), "rb").read()
    for i, program in enumerate(programs):
        open(os.path.join(out, name.replace(".mp3", "-p%d.mp3" % i)), "wb").write(program + blob)
PY
du -sh "$here/corpus/writer"
