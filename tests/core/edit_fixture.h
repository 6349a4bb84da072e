#pragma once
// Documents built in memory for the editing tests: a FrameTable of n frames as
// the analysis would have made it, and the EditList of a freshly loaded file.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/document_ops.h"

namespace quorvel::testing {

struct FrameShape {
  uint8_t freq = 0;    // 44.1 kHz
  uint8_t mode = 1;    // joint stereo
  uint8_t kbps = 9;    // 128 kbps
  uint8_t spec = 0;
};

inline frametype MakeRecord(const FrameShape& f, int32_t pos, uint8_t fromfile = 0) {
  frametype r;
  r.freqb = f.freq;
  r.stereo = f.mode;
  r.kbps = f.kbps;
  r.spec = f.spec;
  r.fromfile = fromfile;
  r.framepos = pos;
  r.estimatedlen = 417;
  r.framelen = 417;
  r.amplify1 = {150, 152, 149, 151};
  r.amplify0 = 150;
  return r;
}

// A loaded document whose frames are described one by one.
inline void LoadFrames(Context& ctx, const std::vector<FrameShape>& shapes, const std::string& name = "/music/source.mp3") {
  DocumentState& doc = ctx.doc;
  auto n = static_cast<int32_t>(shapes.size());
  doc.frames.clear();
  for (int32_t i = 0; i < n; ++i) {
    doc.frames.push_back(MakeRecord(shapes[i], 417 * i));
    doc.frames.back().version = doc.version;  // frames of the document's version
  }
  doc.frameTableCount = n;
  doc.editCount = n;
  ResizeEditList(doc);
  for (int32_t p = 0; p < n; ++p) {
    doc.ref[p] = p;
    doc.gainLeft[p] = 0;
    doc.gainRight[p] = 0;
  }
  for (auto& f : doc.files) f = InsertedFile{};
  doc.files[0].name = name;
  doc.files[1].firstFrame = n;
  doc.insertedCount = 0;
  doc.documentName = name;
  doc.sourceName = name;
  doc.loaded = true;
  doc.cursor = doc.selectionEnd = 0;
  doc.selectionExists = false;
  doc.viewStart = 0;
  doc.viewStartMax = n > 84 ? n - 84 : 0;
  doc.modifiedLevel = 0;
  doc.unsavedChanges = false;
  doc.undo = UndoState{};
  doc.undoAvailable = false;
  doc.pasteAvailable = false;
  doc.clip = LocalClipboard{};
  doc.fallbackBitrate = 0;
  doc.fallbackFreq = kFrequencyMixed;
  doc.fallbackMode = 4;
  ComputeEditStatistics(doc);
  doc.fallbackBitrate = doc.editStats.bitrateSummary;
  doc.fallbackFreq = doc.editStats.freqSummary;
  doc.fallbackMode = doc.editStats.modeSummary;
  doc.sourceStats = doc.editStats;
}

inline void LoadUniform(Context& ctx, int32_t n, FrameShape spec = {}) {
  LoadFrames(ctx, std::vector<FrameShape>(static_cast<size_t>(n), spec));
}

inline void Select(DocumentState& doc, int32_t cursor, int32_t selectionEnd) {
  doc.cursor = cursor;
  doc.selectionEnd = selectionEnd;
  SetSelectionExists(doc, true);
}

inline std::vector<int32_t> Refs(const DocumentState& doc) {
  return std::vector<int32_t>(doc.ref.begin(), doc.ref.end());
}

inline std::vector<int32_t> Range(int32_t from, int32_t to) {
  std::vector<int32_t> v;
  for (int32_t i = from; i < to; ++i) v.push_back(i);
  return v;
}

}  // namespace quorvel::testing


namespace quorvel::testing {

// The committed fixtures (tests/data), or an empty path when the variable is not set.
inline std::filesystem::path TestData(const std::string& name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  if (dir == nullptr || *dir == '\0') return {};
  return std::filesystem::path(dir) / name;
}

// A fresh folder under /tmp, removed with the object.
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-edit-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
};

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace quorvel::testing
