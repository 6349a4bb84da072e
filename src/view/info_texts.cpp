#include "view/info_texts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "core/document_ops.h"
#include "core/mpeg_header.h"

namespace quorvel {

std::string SourceInfoText(const DocumentState& doc) {
  return doc.loaded ? InfoLine(doc.sourceStats) : kNoFileLoadedText;
}

std::string EditedInfoText(const DocumentState& doc) { return doc.editCount > 0 ? InfoLine(doc.editStats) : ""; }

std::string InfoLineBoxText(const std::string& line, bool source) {
  std::string text = source ? "source file info:\r\n\r\n" : "target file info:\r\n\r\n";
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ',' && i + 1 < line.size() && line[i + 1] == ' ') {
      text += "\r\n";
      ++i;
    } else {
      text += line[i];
    }
  }
  return text;
}

StatisticsList BuildStatisticsList(const FrameStatistics& stats, int32_t editCount) {
  StatisticsList list;
  if (editCount <= 0) return list;
  list.empty = false;
  const auto& count = stats.bitrateCount;
  for (int i = 0; i < kStatisticsLines; ++i) {
    list.lines[static_cast<size_t>(i)] =
        BitrateColumnText(i, stats.version) + " kbps frames: " + std::to_string(count[static_cast<size_t>(i)]);
    if (count[static_cast<size_t>(i)] > count[static_cast<size_t>(list.selected)]) list.selected = i;
  }
  std::array<int64_t, kStatisticsLines> sums{};
  int64_t best = -1;
  for (int s = 0; s < kStatisticsLines; ++s) {
    for (int k = s; k < s + kStatisticsWindow && k < kStatisticsLines; ++k) sums[static_cast<size_t>(s)] += count[static_cast<size_t>(k)];
    best = std::max(best, sums[static_cast<size_t>(s)]);
  }
  int total = 0;
  int starts = 0;
  for (int s = 0; s < kStatisticsLines; ++s) {
    if (sums[static_cast<size_t>(s)] == best) {
      total += s;
      ++starts;
    }
  }
  list.topLine = total / starts;
  return list;
}

const FrameStatistics& ShownStatistics(const DocumentState& doc, bool showEdited) {
  return showEdited ? doc.editStats : doc.sourceStats;
}

namespace {

// Length of the UTF-8 sequence starting with lead; 1 for a byte that starts none.
size_t SequenceLength(const std::string& s, size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  size_t n = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
  if (lead >= 0xF8) n = 1;
  if (i + n > s.size()) return 1;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

size_t CharacterCount(const std::string& s) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); i += SequenceLength(s, i)) ++count;
  return count;
}

}  // namespace

std::string PathLabelText(const std::string& path, const TextFits& fits) {
  if (!fits || fits(path)) return path;
  constexpr size_t kShortestLabel = 12;
  std::string tail = path;
  for (;;) {
    std::string label = "..." + tail;
    if (tail.empty() || fits(label) || CharacterCount(label) <= kShortestLabel) return label;
    tail.erase(0, SequenceLength(tail, 0));
  }
}

std::string WrappedPath(const std::string& path, char separator) {
  constexpr size_t kWidth = 50;
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    size_t cut = path.find(separator, start);
    if (cut == std::string::npos) {
      pieces.push_back(path.substr(start));
      break;
    }
    pieces.push_back(path.substr(start, cut - start));
    start = cut + 1;
  }
  std::string text;
  size_t running = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    if (i > 0 && piece.size() >= kWidth) text += "\r\n";
    text += piece;
    text += separator;
    running += piece.size() + 1;
    if (running >= kWidth && i + 1 < pieces.size()) {
      text += "\r\n";
      running = 0;
    }
  }
  while (!text.empty() && text.back() == separator) text.pop_back();
  return text;
}

std::string SourcePathBoxText(const DocumentState& doc) {
  return "Full source filename:\r\n\r\n" + WrappedPath(doc.sourceName);
}

std::string TargetPathBoxText(const std::string& target, bool saved) {
  return (saved ? "Full current document filename:\r\n\r\n" : "The file hasn't been saved yet. Target location:\r\n\r\n") +
         WrappedPath(target);
}

SelectionLengthText SelectionLength(const DocumentState& doc, const TextFits& fits) {
  SelectionLengthText s;
  if (!doc.selectionExists) return s;
  s.visible = true;
  const std::string time = TimeText(DurationBetween(doc, doc.cursor, doc.selectionEnd), 3);
  s.text = "sel: " + time;
  if (fits && !fits(s.text)) s.text = time;
  return s;
}

namespace {

std::string InsertedFileLabel(const std::string& name) {
  std::string base = name;
  size_t slash = base.find_last_of('/');
  if (slash != std::string::npos) base.erase(0, slash + 1);
  if (base.size() >= 4) {
    std::string ext = base.substr(base.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".MP3") base.resize(base.size() - 4);
  }
  return base;
}

}  // namespace

std::optional<std::string> FrameInfoText(const DocumentState& doc, int32_t f) {
  if (f < 0 || f >= doc.editCount || static_cast<size_t>(f) >= doc.ref.size() ||
      static_cast<size_t>(f) >= doc.gainLeft.size() || static_cast<size_t>(f) >= doc.gainRight.size()) {
    return std::nullopt;
  }
  const int32_t r = doc.ref[static_cast<size_t>(f)];
  std::string origin;
  std::string extra;
  if (r < 0 || static_cast<size_t>(r) >= doc.frames.size()) {
    origin = "- empty (silence) frame -";
  } else {
    const frametype& rec = doc.frames[static_cast<size_t>(r)];
    const InsertedFile& file = doc.files[rec.fromfile];
    origin = "Original position: " + std::to_string(r - file.firstFrame + 1);
    if (rec.fromfile != 0) origin += "\r\nInserted from file: " + InsertedFileLabel(file.name);
    switch (rec.spec) {
      case 0: {
        const int left = doc.gainLeft[static_cast<size_t>(f)];
        const int gains = (rec.stereo & 3) == kModeMono ? left : (left + doc.gainRight[static_cast<size_t>(f)]) / 2;
        extra = "\r\nAmplification flag: " + std::to_string(std::clamp(rec.amplify0 + gains, 0, 255));
        break;
      }
      case 1: extra = "\r\nXING header. Always written to position 1 of VBR files."; break;
      case 2: extra = "\r\nINFO header. Removed (CBR) or replaced with Xing (VBR)."; break;
      default: extra = "\r\nVBRI header. Replaced with Xing in VBR files."; break;
    }
  }
  return "Frame position: " + std::to_string(f + 1) + "\r\n" + origin + "\r\n" + "Bitrate: " +
         BitrateText(BitrateAt(doc, f), VersionAt(doc, f)) + "\r\n" + "Frequency: " +
         FrequencyText(FrequencyAt(doc, f), VersionAt(doc, f)) + "\r\n" +
         "Mode: " + ModeText(ModeAt(doc, f)) + extra;
}

int ProgressBlockCount(double fraction) {
  if (!(fraction > 0)) fraction = 0;
  const double n = std::nearbyint(fraction * kProgressBlocks + 0.5);
  return static_cast<int>(std::min<double>(n, kProgressBlocks));
}

}  // namespace quorvel
