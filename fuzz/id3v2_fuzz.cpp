// Fuzzes the ID3v2 reader. The input is written to a file behind an "ID3"
// marker (unless it already starts with one) and read the way the source
// analysis does: version, flags and size come from the input's own header.
// DecodeFieldText and ResyncBytes are also run over the raw input, and the tag
// editor's model edits the tag, which is then built and read back.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tags/file_io.h"
#include "tags/id3v2_model.h"
#include "tags/id3v2_editor.h"
#include "tags/id3v2_reader.h"
#include "tags/id3v2_writer.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

const std::string& ScratchFile() {
  static const std::string path = [] {
    std::string p = "/tmp/quorvel-id3v2-fuzz-XXXXXX";
    const int fd = mkstemp(p.data());
    if (fd >= 0) close(fd);
    return p;
  }();
  return path;
}

void ExerciseHelpers(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const uint8_t enc = data[0];
  const uint8_t parts = data[1];
  size_t cursor = 0;
  const int64_t count = static_cast<int64_t>(size - 2);
  const uint8_t* text = data + 2;
  while (cursor < size - 2) {
    const size_t before = cursor;
    (void)quorvel::DecodeFieldText(text, cursor, count - static_cast<int64_t>(cursor), enc, parts);
    Check(cursor <= size - 2, "cursor within the count");
    if (cursor == before) break;
  }
  std::vector<uint8_t> copy(data, data + size);
  const quorvel::ResyncResult r = quorvel::ResyncBytes(copy.data(), copy.size());
  Check(r.length + r.dropped == size, "resync accounts for every byte");
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) return false;
  const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(fd);
  return written;
}

// Reads the tag at the start of `path` as the source analysis does.
bool ReadTag(const std::string& path, const std::vector<uint8_t>& file, quorvel::Id3v2TagState& tag) {
  const uint8_t major = file[3], minor = file[4], flags = file[5];
  if (major == 255 || minor == 255) return false;
  tag.present = true;
  tag.tagstart = 0;
  tag.tagsize = file[6] * 2097152u + file[7] * 16384u + file[8] * 128u + file[9] + 10u;
  if (major >= 4 && (flags & 0x10)) tag.tagsize += 10;
  tag.tagversion = {major, minor};
  tag.srcversion = {static_cast<uint8_t>(major < 3 ? 2 : (major > 5 ? 5 : major)),
                    static_cast<uint8_t>(minor == 255 ? 254 : minor)};
  tag.srcunsync = tag.unsync = (flags & 0x80) != 0;
  tag.exthead = (flags & 0x40) && major > 2;
  tag.experimental = (flags & 0x20) && major > 2;
  tag.footer = (flags & 0x10) && major > 3;
  quorvel::InputFile in;
  if (!in.open(path)) return false;
  quorvel::ProcessID3v2(tag, in, path);
  return true;
}

// Drives the tag editor's model over the tag read: Cancel after edits must
// give the state back, and an edited title must survive OK, the writer and a
// second read.
void ExerciseEditor(quorvel::Id3v2TagState& tag, const std::string& path, const uint8_t* data, size_t size) {
  using quorvel::MainBox;
  static const char* const kTexts[] = {"plain", "caf\xC3\xA9", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",
                                       "\xF0\x9F\x8E\xB5 a\r\nb"};
  const uint8_t pick = size > 0 ? data[size - 1] : 0;
  const std::string text = kTexts[pick % 4];
  const unsigned major = 2 + (pick >> 2) % 3;
  const size_t fieldsBefore = tag.fields.size();
  std::vector<uint8_t> flagsBefore;
  for (const auto& f : tag.fields) flagsBefore.push_back(f.akcija);

  quorvel::Id3v2Editor ed;
  if (!ed.Open(tag)) return;
  ed.EditBox(MainBox::Title, text);
  ed.EditBox(MainBox::Comment, text);
  ed.ChangeVersion(major, [](const quorvel::EditorQuestion&) { return true; }, {});
  ed.RemoveDuplicates();
  ed.Cancel();
  Check(tag.fields.size() == fieldsBefore, "Cancel keeps the field count");
  for (size_t i = 0; i < fieldsBefore; ++i) Check(tag.fields[i].akcija == flagsBefore[i], "Cancel restores flags");

  if (!ed.Open(tag)) return;
  // A title that could not be read whole (too large, unknown encoding) is not
  // typed over; it is written as it was.
  const bool titleEditable = ed.BoxEditable(MainBox::Title);
  ed.EditBox(MainBox::Title, text);
  ed.ChangeVersion(major, [](const quorvel::EditorQuestion&) { return true; }, {});
  bool writeTag = false;
  if (!ed.Ok({}, writeTag) || !writeTag) return;
  quorvel::InputFile in;
  if (!in.open(path)) return;
  quorvel::Id3v2BlockOptions options;
  const quorvel::Id3v2Block block = quorvel::BuildId3v2TagBlock(tag, in, options, {});
  if (block.outcome != quorvel::Id3v2BlockOutcome::kWritten || block.bytes.size() < 10) return;
  const std::string out = path + ".out";
  {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) close(fd);
  }
  if (!WriteFile(out, block.bytes)) return;
  quorvel::Id3v2TagState back;
  if (!ReadTag(out, block.bytes, back) || back.readerror) return;
  for (const auto& f : back.fields) {
    if (titleEditable && f.ind == quorvel::MainBoxIndex(MainBox::Title) && f.err == 0) {
      Check(f.tansi == text, "the edited title reads back");
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExerciseHelpers(data, size);

  std::vector<uint8_t> file;
  if (size < 3 || std::memcmp(data, "ID3", 3) != 0) file = {'I', 'D', '3'};
  file.insert(file.end(), data, data + size);
  if (file.size() < 10) return 0;

  const std::string& path = ScratchFile();
  if (!WriteFile(path, file)) return 0;
  quorvel::Id3v2TagState tag;
  if (!ReadTag(path, file, tag)) return 0;

  const uint32_t count = tag.fieldcount();
  for (const auto* list : {&tag.textlist, &tag.mixlist, &tag.binlist, &tag.piclist}) {
    for (uint32_t i : *list) Check(i < count, "list index within the table");
  }
  for (const quorvel::Id3v2Field& f : tag.fields) {
    Check(uint64_t{f.spos} + f.dlen <= file.size(), "field inside the file");
    uint32_t offset = 0, length = 0;
    if (f.tip == quorvel::kFieldPicture && quorvel::UnpackPictureLocation(f.tansi, offset, length)) {
      Check(offset >= f.spos && uint64_t{offset} + length == uint64_t{f.spos} + f.dlen,
            "picture data inside its field");
    }
  }
  Check(tag.padding <= file.size(), "padding inside the file");
  ExerciseEditor(tag, path, data, size);
  return 0;
}
