// Fuzzes the ID3v2 reader. The input is written to a file behind an "ID3"
// marker (unless it already starts with one) and read the way the source
// analysis does: version, flags and size come from the input's own header.
// DecodeFieldText and ResyncBytes are also run over the raw input.

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
#include "tags/id3v2_reader.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExerciseHelpers(data, size);

  std::vector<uint8_t> file;
  if (size < 3 || std::memcmp(data, "ID3", 3) != 0) file = {'I', 'D', '3'};
  file.insert(file.end(), data, data + size);
  if (file.size() < 10) return 0;

  const std::string& path = ScratchFile();
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) return 0;
  const bool written = write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
  close(fd);
  if (!written) return 0;

  const uint8_t major = file[3], minor = file[4], flags = file[5];
  if (major == 255 || minor == 255) return 0;
  quorvel::Id3v2TagState tag;
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
  if (!in.open(path)) return 0;
  quorvel::ProcessID3v2(tag, in, path);

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
  return 0;
}
