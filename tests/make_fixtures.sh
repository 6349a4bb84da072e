#!/usr/bin/env bash
# Makes the small real MP3 files under tests/data/ and the bundled sample data/sample.mp3.
#
#   bash tests/make_fixtures.sh [TESTDATA_DIR [SAMPLE_DIR]]
#
# The audio is a few seconds of generated tones (sox synth, repeatable mode), encoded
# with LAME and FFmpeg. With the same tool versions the output is byte for byte the
# same on every run: sox runs with -R, FFmpeg with the bitexact flags and no metadata,
# and LAME's own tags carry no dates. tests/data/README.md describes each file.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/data}
sample_dir=${2:-$here/../data}
mkdir -p "$out" "$sample_dir"
out=$(cd "$out" && pwd)
sample_dir=$(cd "$sample_dir" && pwd)

for tool in sox lame ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- source audio -------------------------------------------------------------------
# Two different tones per stereo file so that the channels differ; a short fade at
# both ends. The VBR source alternates a chord, a sweep and silence so that LAME
# picks different bitrates for different frames.
tone() {  # tone RATE CHANNELS SECONDS FILE
  local rate=$1 channels=$2 seconds=$3 file=$4
  if [ "$channels" = 2 ]; then
    sox -R -n -r "$rate" -c 2 -b 16 "$file" synth "$seconds" sine 440 sine 660 \
      fade 0.05 "$seconds" 0.05 gain -3
  else
    sox -R -n -r "$rate" -c 1 -b 16 "$file" synth "$seconds" sine 523.25 \
      fade 0.05 "$seconds" 0.05 gain -3
  fi
}

tone 44100 2 1.5 "$work/st44.wav"
tone 44100 1 1.5 "$work/mono44.wav"
tone 48000 2 1.5 "$work/st48.wav"
tone 32000 2 1.5 "$work/st32.wav"
tone 22050 2 1.0 "$work/st22.wav"
tone 16000 1 1.0 "$work/mono16.wav"
tone 11025 2 1.0 "$work/st11.wav"
tone 24000 2 1.0 "$work/st24.wav"
tone 12000 1 1.0 "$work/mono12.wav"
tone 8000 2 1.0 "$work/st8.wav"
tone 22050 1 1.0 "$work/mono22.wav"
tone 44100 2 1.0 "$work/st44-1s.wav"
tone 44100 2 4.0 "$work/sample.wav"

sox -R -n -r 44100 -c 2 -b 16 "$work/vbr_a.wav" synth 0.6 sine 220 sine 330 gain -3
sox -R -n -r 44100 -c 2 -b 16 "$work/vbr_b.wav" synth 0.6 sine 200-8000 square 110 gain -6
sox -R -n -r 44100 -c 2 -b 16 "$work/vbr_c.wav" trim 0 0.4
sox -R "$work/vbr_a.wav" "$work/vbr_b.wav" "$work/vbr_c.wav" "$work/vbr.wav"

# lame writes no tag unless asked and is told the output frequency (it would pick a
# lower one for low bitrates); --noreplaygain keeps the Info frame free of values
# that depend on floating-point details of the machine.
LAME=(lame --quiet --noreplaygain)

# --- plain frames ---------------------------------------------------------------------
# CBR 128 kbps, 44.1 kHz, joint stereo; LAME puts an "Info" frame first.
"${LAME[@]}" -b 128 --cbr -m j --resample 44.1 "$work/st44.wav" "$out/cbr128-info.mp3"
# VBR: LAME puts a "Xing" frame first.
"${LAME[@]}" -V 4 -m j --resample 44.1 "$work/vbr.wav" "$out/vbr-xing.mp3"
# ABR 96 kbps: LAME's "Xing" frame names the average bitrate in its extension.
"${LAME[@]}" --abr 96 -m j --resample 44.1 "$work/vbr.wav" "$out/abr96-xing.mp3"
# Mono 64 kbps.
"${LAME[@]}" -b 64 --cbr -m m --resample 44.1 "$work/mono44.wav" "$out/mono-44k.mp3"
# 48 kHz and 32 kHz, plain stereo.
"${LAME[@]}" -b 96 --cbr -m s --resample 48 "$work/st48.wav" "$out/48k.mp3"
"${LAME[@]}" -b 64 --cbr -m s --resample 32 "$work/st32.wav" "$out/32k.mp3"
# Every frame protected by a CRC (the 16-bit check word follows each header).
"${LAME[@]}" -b 96 --cbr -m j -p --resample 44.1 "$work/st44.wav" "$out/crc.mp3"
# MPEG-2 Layer III (22.05 kHz), without an information frame.
"${LAME[@]}" -b 32 --cbr -m j --resample 22.05 "$work/st22.wav" "$out/mpeg2-22k.mp3"
# More MPEG-2 and MPEG-2.5 Layer III files (the low sampling frequencies): the
# first three hold bytes that read as MPEG-1 headers by chance, which must not
# become frames or make the file one of mixed versions; the last is VBR with its Xing frame.
"${LAME[@]}" -b 64 --cbr -m j --resample 22.05 "$work/st22.wav" "$out/mpeg2-22k-64k.mp3"
"${LAME[@]}" -b 32 --cbr -m m --resample 16 "$work/mono16.wav" "$out/mpeg2-16k-mono.mp3"
"${LAME[@]}" -b 24 --cbr -m j --resample 11.025 "$work/st11.wav" "$out/mpeg25-11k.mp3"
"${LAME[@]}" -V 5 -m j --resample 24 "$work/st24.wav" "$out/mpeg2-24k-vbr.mp3"
# The remaining low frequencies and shapes: MPEG-2.5 12 kHz mono CBR with its
# Info frame, MPEG-2.5 8 kHz stereo VBR with its Xing frame, MPEG-2 22.05 kHz
# with CRC words, MPEG-2 16 kHz stereo VBR and 22.05 kHz mono CBR with an Info frame.
"${LAME[@]}" -b 32 --cbr -m m --resample 12 "$work/mono12.wav" "$out/mpeg25-12k-mono-info.mp3"
"${LAME[@]}" -V 4 -m s --resample 8 "$work/st8.wav" "$out/mpeg25-8k-vbr.mp3"
"${LAME[@]}" -b 64 --cbr -m j -p --resample 22.05 "$work/st22.wav" "$out/mpeg2-22k-crc.mp3"
"${LAME[@]}" -V 3 -m j --resample 16 "$work/st22.wav" "$out/mpeg2-16k-vbr.mp3"
"${LAME[@]}" -b 64 --cbr -m m --resample 22.05 "$work/mono22.wav" "$out/mpeg2-22k-mono-info.mp3"
# Free format (bitrate index 0) at 200 kbps: 653 or 654 bytes a frame, which the
# header does not tell.
"${LAME[@]}" --freeformat -b 200 -m j --resample 44.1 "$work/st44-1s.wav" "$out/free-format-200k.mp3"
# CBR without the Info frame (lame -t): the first frame carries audio only.
"${LAME[@]}" -b 96 --cbr -m j -t --resample 44.1 "$work/st44.wav" "$work/plain96.mp3"
cp "$work/plain96.mp3" "$out/cbr96-no-info.mp3"
# CBR 128 kbps without the bit reservoir (every frame's main data starts in the
# frame itself) and without Info frame: any frame can start a file that decodes
# exactly as that stretch of the whole does, after a silent frame.
"${LAME[@]}" -b 128 --cbr -m j --nores -t --resample 44.1 "$work/st44.wav" "$out/cbr128-no-reservoir.mp3"

# --- wrappers and tags ------------------------------------------------------------------
# MP3 frames in a RIFF/WAVE file (format tag 0x55), written by FFmpeg's wav muxer.
ffmpeg -nostdin -loglevel error -y -i "$work/st44.wav" -map_metadata -1 \
  -fflags +bitexact -flags:a +bitexact -c:a libmp3lame -b:a 96k -f wav "$out/riff-wrapped.wav"

# ID3v2.3 tag at the start and ID3v1.1 tag at the end, written by LAME.
"${LAME[@]}" -b 96 --cbr -m j --resample 44.1 --add-id3v2 --pad-id3v2-size 64 \
  --tt "Test Tone" --ta "Quorvel Tests" --tl "Fixtures" --ty 2024 \
  --tc "two sine waves" --tn 3 --tg "Electronic" \
  "$work/st44.wav" "$out/tagged-v23-v1.mp3"

# Appends bytes to a copy of an MP3 file: a Lyrics3 v2 block and an ID3v1 tag, or
# foreign bytes before and after the frames.
python3 - "$work/plain96.mp3" "$out" <<'PY'
import sys

src, out = sys.argv[1], sys.argv[2]
audio = open(src, "rb").read()

def id3v1(title, artist, album, year, comment, track, genre):
    def field(text, size):
        data = text.encode("latin-1")[:size]
        return data + b"\0" * (size - len(data))
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4)
            + field(comment, 28) + b"\0" + bytes([track, genre]))

def lyrics3v2(fields):
    body = b"".join(name + b"%05d" % len(value) + value for name, value in fields)
    block = b"LYRICSBEGIN" + body
    return block + b"%06d" % len(block) + b"LYRICS200"

lyrics = lyrics3v2([
    (b"IND", b"110"),
    (b"LYR", b"[00:00]La la la\r\n[00:01]Tone in A"),
    (b"ETT", b"Test Tone"),
    (b"EAR", b"Quorvel Tests"),
])
tag = id3v1("Lyrics Tone", "Quorvel Tests", "Fixtures", "2024", "with Lyrics3 v2", 7, 52)
open(out + "/lyrics3v2-v1.mp3", "wb").write(audio + lyrics + tag)

# No 0xFF byte anywhere in the foreign data, so nothing in it looks like a frame sync.
header = (b"JUNKHEAD" + bytes(range(0, 0x40)) + b"unknown leading data " * 3)[:120]
footer = (b"JUNKFOOT" + b"unknown trailing data, no frame sync here. " * 5)[:200]
open(out + "/unknown-header-footer.mp3", "wb").write(header + audio + footer)
PY

# The information frames without LAME's extension (the 36 bytes after the quality
# field zeroed): a plain "Xing" frame in front of VBR audio, a plain "Info" frame in
# front of CBR audio. Players then know nothing of the encoder's delay and padding.
python3 - "$out" <<'PY'
import sys

out = sys.argv[1]
for src, dst in (("vbr-xing.mp3", "vbr-plain-xing.mp3"), ("cbr128-info.mp3", "cbr128-plain-info.mp3")):
    data = bytearray(open(out + "/" + src, "rb").read())
    marker = 36  # two-channel frame without CRC: right after the side information
    assert data[marker:marker + 4] in (b"Xing", b"Info") and data[marker + 7] == 15
    ext = marker + 120
    assert data[ext:ext + 4] == b"LAME"
    data[ext:ext + 36] = bytes(36)
    open(out + "/" + dst, "wb").write(bytes(data))
PY

# --- the bundled sample -------------------------------------------------------------------
"${LAME[@]}" -b 96 --cbr -m j --resample 44.1 --add-id3v2 \
  --tt "Sample Tone" --ta "Quorvel" --tl "Quorvel Sample" --ty 2024 \
  --tc "generated with sox and lame" --tn 1 --tg "Electronic" \
  "$work/sample.wav" "$sample_dir/sample.mp3"

ls -l "$out" "$sample_dir/sample.mp3"
