#pragma once
// Source file analysis: finds the blocks around the audio (Lyrics3, ID3v1 at
// the end; ID3v2 and RIFF at the start), scans the bytes in between for MPEG-1
// Layer III frames (MPEG-1, MPEG-2 or MPEG-2.5) in 1,000,000-byte chunks, sizes the frames, finds unknown
// trailing data, reads the tags and fills the document.
//
// The probes, the leading-header reading, the frame scan and the frame-length
// pass are separate functions so that the insert-file analysis runs the same
// code; each takes its inputs and returns a result with a named outcome.

#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/large_memory.h"
#include "tags/file_io.h"

namespace quorvel {

// Files smaller than this are refused.
constexpr int32_t kSmallestFile = 256;
// ID3v2 and RIFF headers are recognised within the first 16 MiB + 12 bytes.
constexpr int32_t kHeadBufferSize = 16777228;
constexpr int32_t kScanChunk = 1000000;
constexpr int32_t kScanLimit = 936000;
constexpr int32_t kChunkBufferSize = 1000004;
constexpr int32_t kFrameTableGrowth = 65536;
constexpr int64_t kScanSplitFrom = int64_t{16} << 20;
constexpr int32_t kFrameSizeTolerance = 2;
constexpr int32_t kFreeFormatFooterThreshold = 1024;

extern const char* const kTextTooSmall;            // "Can't process files smaller than 0.25 KB!"
extern const char* const kTextNoFrame;             // "Invalid format.\r\nProbably not a 32-48 KHz mp3 file."
extern const char* const kTextUnknownHeader;       // "Improper or unknown header format."
extern const char* const kTextRiffNotMp3;          // "RIFF header doesn't seem to be of an mp3 file."
extern const char* const kTextImproperFrameSize;   // "Improper frame size."
extern const char* const kTextId3v2ReadError;      // "Error processing id3v2 header tag."
extern const char* const kTextLowerFreeFormat;     // "Free format mpeg version 2/2.5 not supported."
extern const char* const kTextOtherVersion;        // "Frame of another mpeg version." (never shown)

// How an analysis step ended.
enum class AnalysisOutcome {
  kOk,
  kDiskError,       // a read failed
  kStop,            // AskContinue said stop; the result's stopText says why
  kCancelled,       // Esc at a progress point
  kCloseRequested,  // the main window asked to close at a progress point
};

// Decides whether a recoverable problem stops the analysis: a silent script
// always continues; otherwise the on-processing-error option decides (Fail,
// Prompt through a question, Try to continue).
bool AskContinue(Context& ctx, const std::string& text);

// 1234567 -> "1,234,567".
std::string ThousandsText(int64_t n);

// " 2.6E-0002": sign or space, one digit, ".", one digit, "E", the exponent's
// sign and four digits.
std::string ScientificText(double value);

// The file's size as a signed 32-bit value, or -1 when the file is empty, 2 GiB
// or larger, or not open.
int32_t CheckedFileSize(const InputFile& file);

// Lyrics3: an end marker 9 bytes before the end ("LYRICSEND" v1, "LYRICS200"
// v2), or 137 bytes before it (followed by an ID3v1 tag), and "LYRICSBEGIN"
// within 5,100 (v1) or 301,000 (v2) bytes before the marker.
struct LyricsProbe {
  AnalysisOutcome outcome = AnalysisOutcome::kOk;  // kOk or kDiskError
  uint8_t version = 0;  // of the last end marker read, even without "LYRICSBEGIN"
  bool found = false;
  int32_t pos = -1;     // "LYRICSBEGIN"
  int32_t endPos = -1;  // the end marker
  int32_t length = 0;   // endPos - pos + 9
};
LyricsProbe ProbeLyrics3(InputFile& file, int32_t fileSize);

// ID3v1: "TAG" 129, 128, 127, 126 or 125 bytes before the end (first match).
struct Id3v1Probe {
  AnalysisOutcome outcome = AnalysisOutcome::kOk;  // kOk or kDiskError
  bool found = false;
  int32_t pos = -1;
  int32_t length = 0;
};
Id3v1Probe ProbeId3v1(InputFile& file, int32_t fileSize);

// Where the audio ends: the file size, lowered to the ID3v1 tag and to a
// Lyrics3 block that starts earlier.
int32_t AudioEnd(int32_t fileSize, const Id3v1Probe& id3v1, const LyricsProbe& lyrics);

// The leading headers: an ID3v2 tag at 0, a RIFF header at 0 or right after it
// (its "data" chunk header within 516 bytes), and an ID3v2 tag right after the
// RIFF header when none came before it.
struct LeadingHeaderRules {
  // The source: a version byte of 255 means no tag, and a footer adds 10 bytes.
  // The inserted file skips the tag by its size alone.
  bool sourceRules = true;
};
struct LeadingHeaders {
  AnalysisOutcome outcome = AnalysisOutcome::kOk;  // kOk, kDiskError or kStop
  std::string stopText;
  bool id3v2Found = false;
  int32_t id3v2Pos = 0;
  int32_t id3v2Length = 0;  // with the 10-byte header (and footer)
  uint8_t id3v2Major = 0;
  uint8_t id3v2Revision = 0;
  uint8_t id3v2Flags = 0;
  bool riffFound = false;
  int32_t riffPos = -1;
  int32_t riffLength = 0;
  int32_t audioStart = 0;
};
LeadingHeaders ReadLeadingHeaders(Context& ctx, InputFile& file, int32_t fileSize,
                                  const LeadingHeaderRules& rules);

// The frame scan. Records go into ctx.doc.frames at startIndex, startIndex + 1,
// ... (the table grows by 65,536 records when full); the caller owns the count.
struct FrameScanRules {
  int32_t startIndex = 0;
  uint8_t fromfile = 0;
  // The first frame, when it carries a VBR marker, is overwritten by the next
  // accepted frame (an inserted file's information frame is not inserted).
  bool dropLeadingVbrFrame = false;
  // Audio of at least this many bytes is scanned in two halves at once, the
  // second on another thread; negative: never.
  int64_t splitFrom = kScanSplitFrom;
  // Not negative: only headers of this MPEG version's family are taken;
  // others are passed over without a question, as bytes inside the audio.
  int onlyVersion = -1;
  // False for a second scan of the same bytes: the user who was asked about a
  // refused header and chose to go on is not asked again (a policy that fails
  // still fails).
  bool askAgain = true;
};
// Why a header was refused (the caller may map it to its own result code).
enum class HeaderProblem { kNone, kLayer, kVersion, kBitrate, kFrequency, kOtherVersion };
struct FrameScanResult {
  AnalysisOutcome outcome = AnalysisOutcome::kOk;
  HeaderProblem problem = HeaderProblem::kNone;  // with kStop
  std::string stopText;                          // with kStop: the header problem's text
  int32_t count = 0;                             // records taken
  // With dropLeadingVbrFrame: the information frame that was left out
  // (its file offset, -1 when none, its header's length and its spec).
  int32_t droppedVbrPos = -1;
  int32_t droppedVbrLength = 0;
  uint8_t droppedVbrSpec = 0;
};
// The chunk buffer: allocated by the first scan that uses it, no larger than
// the file needs, and reused for every chunk and every later scan.
class ScanBuffer {
 public:
  void reserve(size_t n) {
    if (bytes_.size() < n) bytes_ = LargeBuffer(n);
  }
  uint8_t* data() { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }

 private:
  LargeBuffer bytes_;
};
FrameScanResult ScanFrames(Context& ctx, InputFile& file, int32_t fileSize, int32_t audioStart,
                           const FrameScanRules& rules, ScanBuffer& buffer);

// Frame lengths of records first .. first + count - 1 (count > 0): each the
// distance to the next header, the last one up to audioEnd. Differences of more
// than 2 bytes from the header's length go to AskContinue; so does an
// incomplete last frame. Data beyond the last frame's length (more than 2
// bytes, and at least 1,024 for a free-format frame) is an unknown footer and
// is cut from that frame.
//
// A last frame too short to hold its header and side information is not a
// frame: it is left out (count is one less) and its bytes are the unknown footer.
struct FrameLengthResult {
  AnalysisOutcome outcome = AnalysisOutcome::kOk;  // kOk or kStop
  std::string stopText;                            // "Improper frame size."
  int32_t count = 0;                               // frames kept
  bool footerFound = false;
  int32_t footerPos = -1;
  int32_t footerLength = 0;
};
FrameLengthResult ComputeFrameLengths(Context& ctx, int32_t first, int32_t count, int32_t audioEnd);

// Records first .. first + count - 1 that start at or beyond audioEnd lie in the
// trailing tags; returns how many records remain before them.
int32_t FramesBeforeAudioEnd(const DocumentState& doc, int32_t first, int32_t count, int32_t audioEnd);

// A header found by chance inside other data is followed by nothing that
// fits it. Records first .. first + count - 1 that chain with neither
// neighbour (the next record does not start where this one ends, within 2
// bytes, and this one does not start where the previous one ends) are junk
// and are removed. The first record (what comes before it is not audio), the
// last one (the one before a tag or the end of the file) and free-format
// frames, whose length the header does not tell, are kept. With the file,
// the bytes the scan jumped over from a junk candidate are walked again, as
// the scan goes on from the byte after a header it does not take, and the
// frames found there are put in their place. Returns the count now.
int32_t DropUnchainedFrames(DocumentState& doc, int32_t first, int32_t count, InputFile* file = nullptr,
                            int onlyVersion = -1);

// The MPEG version of records first .. first + count - 1. A document holds
// frames of one family (MPEG-1, or MPEG-2 and MPEG-2.5): the one most records
// have; its version is the family's version with the most records. When the
// other family has kVersionAudioFrames records or more, the audio mixes
// versions and mixText says so; otherwise records of the other family (others)
// are headers found by chance, and the caller scans again for the one family
// (FrameScanRules).
constexpr int32_t kVersionAudioFrames = 4;
struct VersionSettlement {
  uint8_t version = 3;
  bool others = false;  // records of the other family were found
  std::string mixText;  // not empty: the audio mixes versions
};
VersionSettlement SettleFrameVersion(DocumentState& doc, int32_t first, int32_t count);
// "The file mixes MPEG-1 and MPEG-2 frames.\r\nFiles of more than one mpeg version are not supported."
std::string MixedVersionsText(int a, int b);

// Polls the window system at a progress point and records Esc and close requests.
AnalysisOutcome PollProgressPoint(Context& ctx, double fraction);

// Analyses ctx.doc.sourceName into the document. True on success; on failure
// the document is empty and the failure was reported (a message, or in a script
// result code 201 with the text).
bool AnalyseSource(Context& ctx);

// "Open" on behalf of a script or a dropped file: closes the document without
// asking, analyses sourceName and, on success, puts it on the recent-files list.
bool Loadfile(Context& ctx);
// The same for the file at path. The document records it as sourceName whether
// or not the load succeeds: after a failure the document is empty and
// sourceName names the file that failed (Reopen tries it again).
bool Loadfile(Context& ctx, const std::string& path);

// The "Open" command: asks for a file, remembers its folder, loads it.
void MenuLoadClick(Context& ctx);

// The "Reopen" command: analyses sourceName again. fromScript: started by the
// script interpreter (while a script runs, only then is it accepted).
void ReloadbutClick(Context& ctx, bool fromScript = false);

}  // namespace quorvel
