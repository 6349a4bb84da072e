// A property of every save: random short edit sequences on the fixtures,
// saved by a random save path (Save as to a new or an existing name, quick
// Save over the source, save selection, split), some with a fault put in the
// way (the source deleted or rewritten after loading, a FIFO or the settings
// folder as the target). Either the run succeeds and every output holds
// exactly the frames the edit list names (byte for byte, after an optional
// Xing frame) and decodes (mpg123 --no-gapless) to that many frames, or it
// fails and every file that existed before is byte-identical and no new file
// exists.

#include <sys/stat.h>

#include <map>
#include <random>

#include "core/document_ops.h"
#include "core/mpeg_header.h"
#include "output/save.h"
#include "output/split.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using Bytes = std::vector<uint8_t>;

const char* const kFixtures[] = {"cbr128-info.mp3", "vbr-xing.mp3",      "mono-44k.mp3",          "48k.mp3",
                                 "32k.mp3",         "crc.mp3",           "tagged-v23-v1.mp3",     "cbr96-no-info.mp3",
                                 "lyrics3v2-v1.mp3", "unknown-header-footer.mp3", "cbr128-no-reservoir.mp3"};

enum class SaveKind { kSaveAsNew, kSaveAsExisting, kQuickSave, kSaveSelection, kSplit };
enum class Fault { kNone, kSourceDeleted, kSourceRewritten, kFifoTarget, kSettingsFolder };

std::map<std::string, Bytes> FilesIn(const fs::path& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path().string()] = ReadAll(entry.path());
    else if (!entry.is_directory()) files[entry.path().string()] = {};
  }
  return files;
}

// The frames positions first..end-1 of the edit write, as found in the source.
Bytes ExpectedFrames(const DocumentState& doc, const Bytes& source, int32_t first, int32_t end, int32_t& count,
                     std::vector<std::pair<size_t, bool>>& starts) {
  Bytes frames;
  count = 0;
  for (int32_t p = first; p < end; ++p) {
    const frametype& f = doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])];
    if (p == 0 && f.spec != 0) continue;
    if (f.framelen < MinimumFrameLength(f.stereo, f.version)) continue;
    starts.emplace_back(frames.size(), doc.gainLeft[static_cast<size_t>(p)] != 0 || doc.gainRight[static_cast<size_t>(p)] != 0);
    frames.insert(frames.end(), source.begin() + f.framepos, source.begin() + f.framepos + f.framelen);
    ++count;
  }
  return frames;
}

// out = optional Xing frame + frames (side information may differ where the gain changed).
::testing::AssertionResult HoldsExactly(const Bytes& out, const Bytes& frames,
                                        const std::vector<std::pair<size_t, bool>>& starts) {
  if (out.size() < frames.size()) return ::testing::AssertionFailure() << "output shorter than its frames";
  const size_t lead = out.size() - frames.size();
  if (lead != 0 && (lead < 100 || out[0] != 0xFF)) return ::testing::AssertionFailure() << lead << " stray bytes";
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t from = starts[k].first;
    const size_t to = k + 1 < starts.size() ? starts[k + 1].first : frames.size();
    for (size_t i = from; i < to; ++i) {
      const bool sideInfo = starts[k].second && i - from >= 4 && i - from < 38;
      if (!sideInfo && out[lead + i] != frames[i])
        return ::testing::AssertionFailure() << "frame " << k << " differs at byte " << i - from;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(SaveProperty, EditSequencesEitherSaveExactlyTheirFramesOrChangeNothing) {
  ASSERT_TRUE(HaveTool("mpg123")) << "mpg123 is needed (scripts/install-deps installs it)";
  const unsigned seed = 20261210;
  std::mt19937 rng(seed);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  int succeeded = 0;
  int failed = 0;
  for (int run = 0; run < 150; ++run) {
    TempFolder folder;
    Session s{folder};
    const std::string fixture = kFixtures[pick(std::size(kFixtures))];
    const SaveKind kind = static_cast<SaveKind>(pick(5));
    const Fault fault = pick(3) == 0 ? static_cast<Fault>(1 + pick(4)) : Fault::kNone;
    SCOPED_TRACE(::testing::Message() << "run " << run << " (seed " << seed << "): " << fixture << ", save "
                                      << int(kind) << ", fault " << int(fault));
    fs::path source = folder / "song.mp3";
    fs::copy_file(DataPath(fixture), source);
    fs::copy_file(DataPath("32k.mp3"), folder / "existing.mp3");
    const Bytes sourceBytes = ReadAll(source);
    ASSERT_TRUE(s.load(source));
    DocumentState& doc = s.ctx.doc;

    // A few edits: delete a range, repeat a range, change the gain of a range.
    const int edits = pick(4);
    for (int e = 0; e < edits; ++e) {
      const int32_t n = doc.editCount;
      const int32_t a = pick(n);
      const int32_t len = 1 + pick(std::max(1, std::min(n - a, 12)));
      std::vector<int32_t> ref(doc.ref.begin(), doc.ref.begin() + n);
      std::vector<int16_t> left(doc.gainLeft.begin(), doc.gainLeft.begin() + n);
      std::vector<int16_t> right(doc.gainRight.begin(), doc.gainRight.begin() + n);
      switch (pick(3)) {
        case 0:
          if (len < n - 4) {
            ref.erase(ref.begin() + a, ref.begin() + a + len);
            left.erase(left.begin() + a, left.begin() + a + len);
            right.erase(right.begin() + a, right.begin() + a + len);
          }
          break;
        case 1:
          ref.insert(ref.begin() + a, ref.begin() + a, ref.begin() + a + len);
          left.insert(left.begin() + a, left.begin() + a, left.begin() + a + len);
          right.insert(right.begin() + a, right.begin() + a, right.begin() + a + len);
          break;
        default:
          for (int32_t p = a; p < a + len; ++p) {
            left[static_cast<size_t>(p)] = static_cast<int16_t>(pick(9) - 4);
            right[static_cast<size_t>(p)] = static_cast<int16_t>(pick(9) - 4);
          }
          break;
      }
      doc.editCount = static_cast<int32_t>(ref.size());
      ResizeEditList(doc);
      std::copy(ref.begin(), ref.end(), doc.ref.begin());
      std::copy(left.begin(), left.end(), doc.gainLeft.begin());
      std::copy(right.begin(), right.end(), doc.gainRight.begin());
    }
    // Only the frames: every block around them removed.
    for (RemoveBox* box : {&doc.boxes.riff, &doc.boxes.id3v2, &doc.boxes.behindHeader, &doc.boxes.footer,
                           &doc.boxes.lyrics, &doc.boxes.id3v1})
      box->checked = true;
    const int32_t n = doc.editCount;
    const int32_t selFirst = 1 + pick(n / 2);
    const int32_t selEnd = selFirst + 1 + pick(n - selFirst - 1);

    // The target.
    fs::path target = kind == SaveKind::kSaveAsExisting ? folder / "existing.mp3" : folder / "out.mp3";
    if (kind == SaveKind::kQuickSave) target = source;
    std::vector<std::pair<fs::path, std::pair<int32_t, int32_t>>> outputs;
    if (kind == SaveKind::kSaveSelection) outputs = {{target, {selFirst, selEnd}}};
    else if (kind == SaveKind::kSplit)
      outputs = {{folder / "p1.mp3", {0, selFirst}}, {folder / "p2.mp3", {selFirst, selEnd}}, {folder / "p3.mp3", {selEnd, n}}};
    else outputs = {{target, {0, n}}};
    switch (fault) {
      case Fault::kFifoTarget:
        outputs[0].first = folder / "fifo.mp3";
        ASSERT_EQ(::mkfifo(outputs[0].first.c_str(), 0600), 0);
        break;
      case Fault::kSettingsFolder:
        outputs[0].first = fs::path(s.ctx.settingsFolder) / "saved.mp3";
        break;
      default:
        break;
    }
    if (kind != SaveKind::kSplit) target = outputs[0].first;
    if (kind == SaveKind::kQuickSave && fault != Fault::kFifoTarget && fault != Fault::kSettingsFolder)
      target = source;

    // Expected bytes, taken before the fault changes the source.
    std::vector<Bytes> expected;
    std::vector<std::vector<std::pair<size_t, bool>>> starts(outputs.size());
    std::vector<int32_t> counts(outputs.size());
    for (size_t k = 0; k < outputs.size(); ++k)
      expected.push_back(ExpectedFrames(doc, sourceBytes, outputs[k].second.first, outputs[k].second.second,
                                        counts[k], starts[k]));

    if (fault == Fault::kSourceDeleted) fs::remove(source);
    if (fault == Fault::kSourceRewritten) {
      Bytes other = sourceBytes;
      std::reverse(other.begin(), other.end());
      WriteAll(source, other);
    }
    const std::map<std::string, Bytes> before = FilesIn(folder.path);

    s.ctx.script.active = true;
    s.ctx.options.overwritePolicy = 2;
    s.ctx.options.mainFlags = static_cast<uint8_t>(s.ctx.options.mainFlags & ~kReloadAfterOverwrite);
    switch (kind) {
      case SaveKind::kSaveAsNew:
      case SaveKind::kSaveAsExisting:
        SaveProc(s.ctx, kWriteSaveAs, target.string());
        break;
      case SaveKind::kQuickSave:
        doc.documentName = target.string();
        SaveProc(s.ctx, kWriteQuickSave);
        break;
      case SaveKind::kSaveSelection:
        doc.cursor = selFirst;
        doc.selectionEnd = selEnd;
        doc.selectionExists = true;
        MenuSaveSelClick(s.ctx, target.string());
        break;
      case SaveKind::kSplit:
        doc.cursor = selFirst;
        doc.selectionEnd = selEnd;
        doc.selectionExists = true;
        MenuSplitClick(s.ctx, {outputs[0].first.string(), outputs[1].first.string(), outputs[2].first.string()});
        break;
    }
    const uint8_t code = s.ctx.script.resultCode;
    const std::map<std::string, Bytes> after = FilesIn(folder.path);
    if (code == 0) {
      ++succeeded;
      EXPECT_EQ(fault, Fault::kNone);
      for (size_t k = 0; k < outputs.size(); ++k) {
        SCOPED_TRACE(outputs[k].first.string());
        if (counts[k] == 0) {
          // A part that holds nothing but the source's information frame is not offered.
          EXPECT_FALSE(fs::exists(outputs[k].first));
          continue;
        }
        const Bytes out = ReadAll(outputs[k].first);
        EXPECT_TRUE(HoldsExactly(out, expected[k], starts[k]));
        // Every frame decodes: 1152 samples of 16 bits per channel each.
        const int channels = doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(
                                 outputs[k].second.second - 1)])].stereo == kModeMono ? 1 : 2;
        EXPECT_EQ(Decode(outputs[k].first, folder.path).size(), static_cast<size_t>(counts[k]) * 1152 * 2 * channels);
      }
      for (const auto& [path, bytes] : after) EXPECT_FALSE(path.ends_with(kTempSuffix)) << path;
    } else {
      ++failed;
      EXPECT_NE(fault, Fault::kNone) << s.ctx.script.errorText;
      for (const auto& [path, bytes] : before) {
        auto it = after.find(path);
        ASSERT_NE(it, after.end()) << path << " is gone";
        EXPECT_TRUE(it->second == bytes) << path << " changed";
      }
      // Parts of a split written before the failing one stay written; nothing else is new.
      for (const auto& [path, bytes] : after) {
        if (before.count(path)) continue;
        bool earlierPart = false;
        for (size_t k = 1; k < outputs.size(); ++k) earlierPart = earlierPart || path == outputs[k].first.string();
        EXPECT_TRUE(kind == SaveKind::kSplit && earlierPart && (fault == Fault::kFifoTarget || fault == Fault::kSettingsFolder))
            << path << " is new";
      }
    }
  }
  ::testing::Test::RecordProperty("succeeded", succeeded);
  ::testing::Test::RecordProperty("failed", failed);
  // The runs exercised both outcomes.
  EXPECT_GT(succeeded, 40);
  EXPECT_GT(failed, 20);
}

}  // namespace
}  // namespace quorvel
