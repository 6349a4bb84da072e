// Feeds arbitrary file contents to the ID3v1 reader and the field, genre and
// output functions.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tags/id3v1.h"
#include "tags/text_helpers.h"

namespace {

const std::string& TempPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/quorvel-id3v1-fuzz-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
  }();
  return path;
}

void WriteFile(const uint8_t* data, size_t size) {
  int fd = open(TempPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

void Exercise(const quorvel::Id3v1Tag& tag) {
  using namespace quorvel;
  const bool v11 = IsId3v11(tag);
  for (auto field : {Id3v1Field::kTitle, Id3v1Field::kArtist, Id3v1Field::kAlbum, Id3v1Field::kYear,
                     Id3v1Field::kComment}) {
    const size_t width = static_cast<size_t>(Id3v1FieldWidth(field, v11));
    std::string text = ReadTextField(tag, field, width);
    // What is read back is valid UTF-8 and stores into the same room unchanged.
    if (ToValidUtf8(text) != text) std::abort();
    Id3v1Tag copy = tag;
    StoreTextField(text, copy, field, width);
    if (field != Id3v1Field::kYear && ReadTextField(copy, field, width).size() > width) std::abort();
  }
  (void)Id3v1CommentText(tag);
  (void)Id3v1Track(tag);
  (void)IsId3v1Empty(tag);
  (void)GenreText(tag.bytes[kId3v1GenreOffset]);
  auto out = Id3v1OutputBytes(tag);
  // The written bytes read back as the same record.
  Id3v1State again;
  if (ProcessID3v1(again, out) != Id3v1ReadResult::kOk || again.record.bytes != tag.bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  WriteFile(data, size);
  InputFile file;
  if (!file.open(TempPath())) return 0;

  // Where the loader looks (the last 128 bytes), the start, and a position
  // taken from the input, which may lie anywhere, also past the end.
  int64_t positions[3] = {file.size() - 128, 0, 0};
  if (size >= 2) positions[2] = static_cast<int64_t>(data[0] | (data[1] << 8)) - 256;
  for (int64_t pos : positions) {
    Id3v1State state;
    Id3v1ReadResult r = ProcessID3v1(state, file, pos);
    if (state.loaded.bytes != state.record.bytes) std::abort();
    if (r != Id3v1ReadResult::kOk && state.record.bytes != Id3v1Tag::emptyBytes()) std::abort();
    Exercise(state.record);
  }

  // The field functions on raw record bytes (not cleaned by the reader).
  if (size >= 125) {
    Id3v1Tag raw;
    for (size_t i = 0; i < 125; ++i) raw.bytes[i] = data[i];
    for (auto field : {Id3v1Field::kTitle, Id3v1Field::kComment, Id3v1Field::kYear})
      (void)ReadTextField(raw, field, 30);
  }
  // Any bytes as a text to store.
  std::string text(reinterpret_cast<const char*>(data), size);
  Id3v1Tag tag;
  for (size_t width : {size_t{0}, size_t{1}, size_t{4}, size_t{28}, size_t{30}, size_t{200}}) {
    StoreTextField(text, tag, Id3v1Field::kComment, width);
    StoreTextField(text, tag, Id3v1Field::kYear, width);
  }
  if (size >= 1) (void)GenreText(static_cast<int8_t>(data[0]));
  return 0;
}
