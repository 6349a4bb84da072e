#include "core/document_ops.h"


#include <algorithm>
#include <cmath>
#include <limits>

#include "core/messages.h"
#include "core/mpeg_header.h"
#include "core/tag_editing.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

void ResizeEditList(DocumentState& doc) {
  auto n = static_cast<size_t>(std::max(doc.editCount, 0));
  doc.ref.resize(n, 0);
  doc.gainLeft.resize(n, 0);
  doc.gainRight.resize(n, 0);
  doc.frequencyIndex.editCount = -1;
}

namespace {

// The FrameTable record at position p, or nullptr for a blank frame or an
// entry that names no record.
const frametype* RecordAt(const DocumentState& doc, int32_t p, int32_t& blankCode) {
  blankCode = 0;
  if (p < 0 || p >= doc.editCount || static_cast<size_t>(p) >= doc.ref.size()) return nullptr;
  int32_t r = doc.ref[p];
  if (r < 0) {
    blankCode = r == INT32_MIN ? 0 : -r;
    return nullptr;
  }
  if (static_cast<size_t>(r) >= doc.frames.size()) return nullptr;
  return &doc.frames[r];
}

}  // namespace

int FrequencyAt(const DocumentState& doc, int32_t p) {
  int32_t code;
  if (const frametype* f = RecordAt(doc, p, code)) return f->freqb % 3;
  return DecodeBlankFrameCode(code).freqIndex;
}

int VersionAt(const DocumentState& doc, int32_t p) {
  int32_t code;
  if (const frametype* f = RecordAt(doc, p, code)) return f->version & 3;
  return doc.version;
}

int FrequencySlotAt(const DocumentState& doc, int32_t p) {
  int32_t code;
  if (const frametype* f = RecordAt(doc, p, code)) return FrequencySlot(f->version, f->freqb % 3);
  return FrequencySlot(doc.version, DecodeBlankFrameCode(code).freqIndex);
}

int ModeAt(const DocumentState& doc, int32_t p) {
  int32_t code;
  if (const frametype* f = RecordAt(doc, p, code)) return f->stereo & 3;
  return DecodeBlankFrameCode(code).mode;
}

int BitrateAt(const DocumentState& doc, int32_t p) {
  int32_t code;
  if (const frametype* f = RecordAt(doc, p, code)) return f->kbps % 15;
  return DecodeBlankFrameCode(code).bitrateIndex;
}

int MarkerAt(const DocumentState& doc, int32_t p) {
  int32_t code;
  if (const frametype* f = RecordAt(doc, p, code)) return f->spec;
  return 0;
}

int32_t BlankFrameCode(int bitrateIndex, int freqIndex, int mode) {
  return (bitrateIndex & 15) + 16 * (freqIndex & 3) + 64 * (mode & 3);
}

BlankFrame DecodeBlankFrameCode(int32_t code) {
  BlankFrame b;
  b.bitrateIndex = code & 15;
  if (b.bitrateIndex == 15) b.bitrateIndex = 0;
  b.freqIndex = (code >> 4) & 3;
  if (b.freqIndex == 3) b.freqIndex = 0;
  b.mode = (code >> 6) & 3;
  return b;
}

void udvcheck(DocumentState& doc, int i) {
  int32_t& bound = i == 0 ? doc.cursor : doc.selectionEnd;
  bound = std::clamp(bound, 0, std::max(doc.editCount, 0));
}

void OrderBounds(int32_t& a, int32_t& b) {
  if (a < 0) a = 0;
  if (b < 0) b = 0;
  if (b < a) std::swap(a, b);
}

void aline_udv(DocumentState& doc) {
  udvcheck(doc, 0);
  udvcheck(doc, 1);
  OrderBounds(doc.cursor, doc.selectionEnd);
}

void SetSelectionExists(DocumentState& doc, bool flag) {
  if (flag) {
    udvcheck(doc, 1);
    // Bounds that are equal (also after clamping) select nothing.
    flag = doc.cursor != doc.selectionEnd;
  }
  doc.selectionExists = flag;
  if (!flag) doc.selectionEnd = doc.cursor;
}

EventRequests ProcessPendingEvents(Context& ctx) {
  EventRequests requests = ctx.host.processEvents();
  if (requests.cancel) ctx.cancelRequest = true;
  if (requests.close) ctx.closeRequest = true;
  return EventRequests{ctx.cancelRequest, ctx.closeRequest};
}

bool NotReady(const Context& ctx) {
  const DocumentState& doc = ctx.doc;
  return ctx.busyCursor || doc.busy || doc.volumeDialogOpen || doc.silenceDialogOpen ||
         doc.splitDialogOpen || doc.fadeDialogOpen || doc.playerHandOver;
}

namespace {

bool FrequencyIndexUsable(const DocumentState& doc) {
  const FrequencyIndex& index = doc.frequencyIndex;
  return index.editCount >= 0 && index.editCount == doc.editCount && index.refData == doc.ref.data() &&
         index.refSize == doc.ref.size();
}

using SlotCounts = std::array<int64_t, kFrequencySlots>;

// Frames per frequency slot at positions 0..q-1, q within 0..editCount, from the index.
SlotCounts IndexedCountsBefore(const FrequencyIndex& index, int32_t q) {
  const auto& runs = index.runs;
  auto after = std::upper_bound(runs.begin(), runs.end(), q - 1,
                                [](int32_t p, const FrequencyRun& run) { return p < run.start; });
  if (q <= 0 || after == runs.begin()) return {};
  const FrequencyRun& run = *(after - 1);
  SlotCounts count = run.before;
  count[run.freq] += q - run.start;
  return count;
}

// Frames per frequency slot at positions lo..hi-1 (clamped to the EditList).
SlotCounts CountFrequencies(const DocumentState& doc, int32_t lo, int32_t hi) {
  SlotCounts count{};
  lo = std::max(lo, 0);
  hi = std::min(hi, doc.editCount);
  if (lo >= hi) return count;
  if (FrequencyIndexUsable(doc)) {
    const SlotCounts upper = IndexedCountsBefore(doc.frequencyIndex, hi);
    const SlotCounts lower = IndexedCountsBefore(doc.frequencyIndex, lo);
    for (size_t f = 0; f < count.size(); ++f) count[f] = upper[f] - lower[f];
    return count;
  }
  for (int32_t p = lo; p < hi; ++p) ++count[static_cast<size_t>(FrequencySlotAt(doc, p))];
  return count;
}

// Seconds of frames counted by frequency slot.
double Seconds(const DocumentState& doc, const SlotCounts& count) {
  double seconds = 0;
  for (size_t f = 0; f < count.size(); ++f)
    if (count[f] != 0) seconds += static_cast<double>(count[f]) * SlotSeconds(doc.version, static_cast<int>(f));
  return seconds;
}

double FrameSeconds(const DocumentState& doc, int32_t p) { return SlotSeconds(doc.version, FrequencySlotAt(doc, p)); }

}  // namespace

double TimeAtFrame(const DocumentState& doc, int32_t p, bool midFrame) {
  double t = p <= 0 ? 0.0 : Seconds(doc, CountFrequencies(doc, 0, p));
  if (midFrame && doc.editCount > 0) {
    int32_t m = std::max(std::min(p, doc.editCount - 1), 0);
    t += FrameSeconds(doc, m) / 2;
  }
  return t;
}

double DurationBetween(const DocumentState& doc, int32_t a, int32_t b) {
  if (a == b) return 0.0;
  return Seconds(doc, CountFrequencies(doc, std::min(a, b), std::max(a, b)));
}

namespace {

// The nearest position in a file of mixed frequencies: from the position the
// longest frames would give, step forward while the distance to the time shrinks,
// adding each frame's length to the running time.
int32_t WalkToTime(const DocumentState& doc, double seconds, int64_t i, int32_t last) {
  double t = TimeAtFrame(doc, static_cast<int32_t>(i));
  double distance = std::fabs(t - seconds);
  for (;;) {
    if (i >= last) return last;
    t += FrameSeconds(doc, static_cast<int32_t>(i));
    double next = std::fabs(t - seconds);
    if (next >= distance) return static_cast<int32_t>(i);
    distance = next;
    ++i;
  }
}

// The same answer from the frequency index. Times only grow with the position, so
// the walk stops at the last position k whose time is not beyond the time, or at
// the one after it when that is nearer. The walk adds frame lengths one by one
// and may round differently from the counted times; where the two distances are
// so close that this could decide, the walk itself answers.
int32_t IndexedFrameAtTime(const DocumentState& doc, double seconds, int64_t i0, int32_t last) {
  auto lo = static_cast<int32_t>(i0);
  int32_t hi = last;
  // Largest k in [i0, last] with TimeAtFrame(k) <= seconds; i0 when there is none.
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo + 1) / 2;
    if (TimeAtFrame(doc, mid) <= seconds) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  const int32_t k = lo;
  if (k >= last) return last;
  const double tk = TimeAtFrame(doc, k);
  const double tNext = TimeAtFrame(doc, k + 1);
  const double distance = std::fabs(tk - seconds);
  const double next = std::fabs(tNext - seconds);
  const double steps = static_cast<double>(k - i0) + 8.0;
  const double tolerance = 8.0 * steps * std::numeric_limits<double>::epsilon() * std::max(tNext, 1.0);
  if (std::fabs(next - distance) <= tolerance) return WalkToTime(doc, seconds, i0, last);
  return next >= distance ? k : k + 1;
}

}  // namespace

int32_t FrameAtTime(const DocumentState& doc, double seconds) {
  // The shortest frame is of each version's highest frequency (index 1), the
  // longest of its lowest (index 2); a document of MPEG-2 and MPEG-2.5 frames
  // takes the extremes of both.
  const uint8_t f = doc.editStats.freqSummary;
  double shortest = SecondsPerFrame(doc.version, 1);
  double longest = SecondsPerFrame(doc.version, 2);
  if (IsLowerFrequencyVersion(doc.version)) {
    const auto& count = doc.editStats.freqCount;
    const bool mpeg2 = doc.version == kVersionMpeg2 || count[0] + count[1] + count[2] != 0;
    const bool mpeg25 = doc.version == kVersionMpeg25 || count[3] + count[4] + count[5] != 0;
    shortest = SecondsPerFrame(mpeg2 ? kVersionMpeg2 : kVersionMpeg25, 1);
    longest = SecondsPerFrame(mpeg25 ? kVersionMpeg25 : kVersionMpeg2, 2);
  }
  if (seconds < shortest / 2) return 0;
  if (f != kFrequencyMixed) return static_cast<int32_t>(std::nearbyint(seconds / SlotSeconds(doc.version, f)));
  const int32_t last = doc.editCount - 1;
  auto i = static_cast<int64_t>(seconds / longest);
  if (i >= last) return last;
  if (FrequencyIndexUsable(doc)) return IndexedFrameAtTime(doc, seconds, i, last);
  return WalkToTime(doc, seconds, i, last);
}

bool SelectionAllMono(const DocumentState& doc) {
  if (!doc.selectionExists) return false;
  int32_t lo = std::max(std::min(doc.cursor, doc.selectionEnd), 0);
  int32_t hi = std::min(std::max(doc.cursor, doc.selectionEnd), doc.editCount);
  for (int32_t p = lo; p < hi; ++p) {
    if (ModeAt(doc, p) != kModeMono) return false;
  }
  return true;
}

int SelectionModes(const DocumentState& doc) {
  if (!doc.selectionExists) return 0;
  int32_t lo = std::max(std::min(doc.cursor, doc.selectionEnd), 0);
  int32_t hi = std::min(std::max(doc.cursor, doc.selectionEnd), doc.editCount);
  std::array<bool, 4> seen{};
  for (int32_t p = lo; p < hi; ++p) seen[ModeAt(doc, p)] = true;
  int distinct = static_cast<int>(std::count(seen.begin(), seen.end(), true));
  if (distinct > 1) return 2;
  return distinct == 1 && seen[1] ? 1 : 0;
}

namespace {

// The summary of one statistic: the only index that occurs; with several, the
// mixed value, unless the edit starts with the source's information frame and
// that frame alone makes the difference (then the index at position 1).
template <size_t N>
uint8_t Summary(const std::array<int32_t, N>& count, uint8_t fallback, uint8_t mixed, bool infoLead,
                int infoIndex, int indexAtOne) {
  int distinct = 0;
  int only = 0;
  for (size_t i = 0; i < N; ++i) {
    if (count[i] != 0) {
      ++distinct;
      only = static_cast<int>(i);
    }
  }
  if (distinct == 0) return fallback;
  if (distinct == 1) return static_cast<uint8_t>(only);
  if (infoLead && distinct == 2 && count[infoIndex] == 1) return static_cast<uint8_t>(indexAtOne);
  return mixed;
}

}  // namespace

namespace {

// Records a frame of frequency slot freq at position p in the index being built.
void AddToFrequencyIndex(FrequencyIndex& index, SlotCounts& count, int32_t p, int freq) {
  if (index.runs.empty() || index.runs.back().freq != freq) {
    index.runs.push_back(FrequencyRun{p, static_cast<uint8_t>(freq), count});
  }
  ++count[static_cast<size_t>(freq)];
}

}  // namespace

void ComputeEditStatistics(DocumentState& doc) {
  doc.stripLabelPos = -1;
  FrequencyIndex& index = doc.frequencyIndex;
  index.runs.clear();
  index.editCount = -1;
  doc.editStats.version = doc.version;
  if (doc.editCount <= 0) return;
  SlotCounts indexed{};
  FrameStatistics& s = doc.editStats;
  s.freqCount = {};
  s.modeCount = {};
  s.bitrateCount = {};
  const auto n = std::min(static_cast<size_t>(doc.editCount), doc.ref.size());
  const size_t records = doc.frames.size();
  for (size_t p = 0; p < n; ++p) {
    const int32_t r = doc.ref[p];
    if (r >= 0 && static_cast<size_t>(r) < records) {
      const frametype& f = doc.frames[static_cast<size_t>(r)];
      const int slot = FrequencySlot(f.version, f.freqb % 3);
      ++s.freqCount[static_cast<size_t>(slot)];
      ++s.modeCount[f.stereo & 3];
      ++s.bitrateCount[f.kbps % 15];
      AddToFrequencyIndex(index, indexed, static_cast<int32_t>(p), slot);
    } else {
      const BlankFrame b = DecodeBlankFrameCode(r < 0 && r != INT32_MIN ? -r : 0);
      const int slot = FrequencySlot(doc.version, b.freqIndex);
      ++s.freqCount[static_cast<size_t>(slot)];
      ++s.modeCount[b.mode];
      ++s.bitrateCount[b.bitrateIndex];
      AddToFrequencyIndex(index, indexed, static_cast<int32_t>(p), slot);
    }
  }
  // Positions beyond the stored entries read as frequency 0 of the document's version.
  const int beyond = FrequencySlot(doc.version, 0);
  for (auto p = static_cast<int32_t>(n); p < doc.editCount; ++p) AddToFrequencyIndex(index, indexed, p, beyond);
  index.editCount = doc.editCount;
  index.refData = doc.ref.data();
  index.refSize = doc.ref.size();
  bool infoLead = !doc.ref.empty() && doc.ref[0] == 0 && !doc.frames.empty() && doc.frames[0].spec != 0;
  s.bitrateSummary =
      Summary(s.bitrateCount, doc.fallbackBitrate, 0, infoLead, BitrateAt(doc, 0), BitrateAt(doc, 1));
  s.modeSummary = Summary(s.modeCount, doc.fallbackMode, kModeMixed, infoLead, ModeAt(doc, 0), ModeAt(doc, 1));
  s.freqSummary = Summary(s.freqCount, doc.fallbackFreq, kFrequencyMixed, infoLead, FrequencySlotAt(doc, 0),
                          FrequencySlotAt(doc, 1));
}

const char* const kSaveChangesText = "  Save changes?  ";
const char* const kSaveChangesCaption = "closing";

bool SaveChangesAsked(const Context& ctx) {
  const DocumentState& doc = ctx.doc;
  // A tag editor's changes not applied yet are edits the user sees: they count.
  return doc.loaded && !NotReady(ctx) && (doc.unsavedChanges || TagEditsPending(ctx)) &&
         ctx.options.mainFlag(kPromptSaveOnClose) && !doc.documentName.empty() && !ctx.script.active;
}

int AskSaveChanges(Context& ctx, const std::string& text, const std::string& caption) {
  if (!SaveChangesAsked(ctx)) return kUnloadClosed;
  const int answer = ctx.host.ask(text, kSaveChangesQuestion, caption);
  if (answer == kAnswerNo) return kUnloadClosed;
  if (answer != kAnswerYes) return kUnloadDeclined;
  // A "Save as" that was cancelled or failed keeps the document: dropping it
  // now would lose the edits the user just asked to keep. The save takes in
  // what the tag editors show (they apply their changes first).
  if (!ApplyTagEdits(ctx) || !ctx.saveAs || !ctx.saveAs(ctx)) return kUnloadDeclined;
  return kUnloadSaved;
}

int unloadall(Context& ctx, bool ask) {
  DocumentState& doc = ctx.doc;
  Options& options = ctx.options;
  int result = kUnloadClosed;
  // Here No keeps the document as well: only a saved edit is closed.
  if (ask && SaveChangesAsked(ctx)) {
    if (!AskYesNo(ctx, "Save changes?", kSaveChangesQuestion, "prompt")) return kUnloadDeclined;
    // A "Save as" that was cancelled or failed keeps the document: closing it
    // now would drop the edits the user just asked to keep.
    if (!ApplyTagEdits(ctx) || !ctx.saveAs || !ctx.saveAs(ctx)) return kUnloadDeclined;
    result = kUnloadSaved;
  }

  EndTagSessions(ctx);

  if (options.rememberVolume == 1) {
    options.savedVolumeSteps = 20;
    options.volumeChannelAndTagSwitches &= static_cast<uint8_t>(~3u);
  }
  if (options.rememberFade == 1) options.savedFadeSteps = 20;

  ResetId3v2State(doc.id3v2);
  // The header values described the closed source's tag; none is left.
  doc.id3v2 = Id3v2TagState{};

  doc.editCount = 0;
  doc.insertedCount = 0;
  doc.viewStart = 0;
  doc.viewStartMax = 0;
  doc.clip = LocalClipboard{};
  doc.selectionExists = false;
  doc.cursor = 0;
  doc.selectionEnd = 0;
  doc.modifiedLevel = 0;
  doc.unsavedChanges = false;
  doc.documentName.clear();
  doc.loaded = false;
  doc.frames = {};
  doc.version = kVersionMpeg1;
  doc.ref = {};
  doc.gainLeft = {};
  doc.gainRight = {};
  doc.frequencyIndex = FrequencyIndex{};
  doc.undo = UndoState{};
  doc.undoAvailable = false;
  doc.pasteAvailable = false;
  for (InsertedFile& f : doc.files) f = InsertedFile{};
  doc.editStats.freqCount = {};
  doc.editStats.modeCount = {};
  doc.editStats.bitrateCount = {};
  doc.sourceStats.freqCount = {};
  doc.sourceStats.modeCount = {};
  doc.sourceStats.bitrateCount = {};
  doc.boxes = RemoveBoxes{};
  doc.stripLabelPos = -1;
  ctx.host.changed(kChangedDocument);
  return result;
}

}  // namespace quorvel
