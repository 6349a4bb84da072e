#pragma once
// The loaded document: the FrameTable of every frame found in the source and in
// inserted files, the EditList that is the edited file, cursor and selection, the
// file table, the undo snapshot, the local clipboard, statistics, and the data
// found around the audio. Editing only rewrites the EditList; audio bytes move
// only when a file is written.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/large_memory.h"
#include "tags/file_io.h"
#include "core/lame_tag.h"
#include "tags/id3v1_tag.h"
#include "tags/id3v2_model.h"

namespace quorvel {

// One analysed frame.
struct frametype {
  uint8_t freqb = 0;     // frequency index: 0 44.1 kHz, 1 48 kHz, 2 32 kHz in MPEG-1 (see kFrequencyHz)
  uint8_t stereo = 0;    // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  uint8_t kbps = 0;      // bitrate index, 0 = free format
  uint8_t amplify0 = 0;  // mean of the global_gain values as read
  uint8_t spec = 0;      // VBR marker: 0 none, 1 "Xing", 2 "Info", 3 "VBRI", 4 "FBRI"
  uint8_t fromfile = 0;  // file table index
  uint8_t version = 3;   // header version code: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  int32_t framepos = 0;
  int32_t estimatedlen = 0;
  int32_t framelen = 0;
  std::array<uint8_t, 4> amplify1{};  // gr0ch0, gr0ch1, gr1ch0, gr1ch1 (mono: gr0, gr1)
};

// A generated blank frame is stored in the EditList as ref = -BlankFrameCode.
// The gain entries of a newly inserted blank frame hold kNoGain, so that they
// stand out in the EditList. Nothing depends on the value: the writer builds a
// blank frame's bytes afresh without reading its gains, the strip does not draw
// blank frames, and a later volume change or fade may overwrite the entries.
constexpr int16_t kNoGain = -32768;

// Frequency slots of the statistics (see FrequencySlot in core/mpeg_header.h):
// three frequencies of MPEG-1 or MPEG-2 and three of MPEG-2.5.
constexpr int kFrequencySlots = 6;
constexpr uint8_t kFrequencyMixed = 6;  // a summary of more than one frequency

struct FrameStatistics {
  std::array<int32_t, kFrequencySlots> freqCount{};  // by frequency slot
  std::array<int32_t, 4> modeCount{};
  std::array<int32_t, 15> bitrateCount{};
  uint8_t bitrateSummary = 0;  // bitrate index, 0 = more than one
  uint8_t modeSummary = 4;     // 0..3, 4 = mixed
  uint8_t freqSummary = kFrequencyMixed;  // the only frequency slot, or kFrequencyMixed
  uint8_t version = 3;         // the document's version code: the indices above are of its tables
};

// Everything found around the audio of the loaded file.
struct SourceAnalysis {
  int32_t fileSize = 0;
  int32_t audioStart = 0;
  // The ID3v2 header values live in Id3v2TagState (present, tagstart, tagsize, ...).
  uint8_t id3v2Flags = 0;
  bool riffFound = false;
  int32_t riffPos = -1;
  int32_t riffLength = 0;
  bool behindHeaderFound = false;
  int32_t behindHeaderPos = -1;
  int32_t behindHeaderLength = 0;
  bool id3v1Found = false;
  int32_t id3v1Pos = -1;
  int32_t id3v1Length = 0;
  uint8_t lyricsVersion = 0;  // 0 none, 1 "LYRICSEND", 2 "LYRICS200"
  bool lyricsFound = false;
  int32_t lyricsPos = -1;
  int32_t lyricsEndPos = -1;
  int32_t lyricsLength = 0;
  bool footerFound = false;
  int32_t footerPos = -1;
  int32_t footerLength = 0;
  int32_t audioEnd = 0;
};

// A remove box of the main window: enabled when the block exists, checked = remove it.
struct RemoveBox {
  bool enabled = false;
  bool checked = false;
};

struct RemoveBoxes {
  RemoveBox riff;
  RemoveBox id3v2;
  RemoveBox behindHeader;
  RemoveBox footer;
  RemoveBox lyrics;
  RemoveBox id3v1;
};

constexpr int kFileTableSize = 256;

struct InsertedFile {
  std::string name;
  int32_t firstFrame = 0;
  // The file as it was analysed; the writer reads frames from it only while it
  // is still that file.
  FileIdentity identity;
  // The encoder extension of the file's information frame, when it had a
  // trusted one.
  LameTag lame;
};

struct UndoState {
  bool taken = false;  // a snapshot is held
  int32_t editCount = 0;
  LargeVector<int32_t> ref;
  LargeVector<int16_t> gainLeft;
  LargeVector<int16_t> gainRight;
  int32_t cursor = 0;
  int32_t selectionEnd = 0;
  bool selectionExists = false;
  int32_t viewStart = 0;
  uint8_t insertedCount = 0;
  std::array<InsertedFile, kFileTableSize> files;
  // modifiedLevel before the operation: undoing the one change that raised it
  // from 0 lowers it again, and only then.
  uint8_t modifiedLevel = 0;
};

struct LocalClipboard {
  int32_t clipCount = 0;
  LargeVector<int32_t> ref;
  LargeVector<int16_t> gainLeft;
  LargeVector<int16_t> gainRight;
};

// Where the frequency changes along the EditList, with the frames of each
// frequency before each change, so that a time is counted from the nearest
// change instead of from frame 0. ComputeEditStatistics rebuilds it after every
// edit; it is used only while it still describes the list (same length, same
// storage), otherwise times are counted frame by frame.
struct FrequencyRun {
  int32_t start = 0;                 // first EditList position of the run
  uint8_t freq = 0;                                // frequency slot of every frame in it
  std::array<int64_t, kFrequencySlots> before{};   // frames per frequency slot before start
};

struct FrequencyIndex {
  std::vector<FrequencyRun> runs;
  int32_t editCount = -1;  // -1: not built
  const int32_t* refData = nullptr;
  size_t refSize = 0;
};

struct DocumentState {
  // FrameTable
  LargeVector<frametype> frames;  // allocated length = frames.size()
  int32_t frameTableCount = 0;
  // The MPEG version code of the document (3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5):
  // bitrate indices and blank frames are of this version's tables. Its frames
  // are all of its family: MPEG-1 alone, or MPEG-2 and MPEG-2.5, which share
  // their bitrates and frame layout (see FrequencySlot for their frequencies).
  uint8_t version = 3;

  // EditList (parallel arrays of length editCount)
  int32_t editCount = 0;
  LargeVector<int32_t> ref;
  LargeVector<int16_t> gainLeft;
  LargeVector<int16_t> gainRight;
  FrequencyIndex frequencyIndex;

  // Positions
  int32_t cursor = 0;
  int32_t selectionEnd = 0;
  bool selectionExists = false;
  int32_t viewStart = 0;
  int32_t viewStartMax = 0;
  // Where the frame strip last wrote its time labels; -1 makes it write them again.
  int32_t stripLabelPos = -1;

  // File table
  std::array<InsertedFile, kFileTableSize> files;
  uint8_t insertedCount = 0;

  UndoState undo;
  bool undoUnavailable = false;
  bool undoAvailable = false;   // the Undo command is enabled
  bool pasteAvailable = false;  // the Paste command is enabled
  LocalClipboard clip;

  // Modification state
  uint8_t modifiedLevel = 0;
  bool unsavedChanges = false;

  // Statistics and their fallbacks
  FrameStatistics editStats;
  FrameStatistics sourceStats;
  uint8_t fallbackBitrate = 0;
  uint8_t fallbackFreq = kFrequencyMixed;
  uint8_t fallbackMode = 4;

  std::string documentName;
  std::string sourceName;
  bool loaded = false;
  bool busy = false;

  // Editing dialogs that are open (NotReady is true while any is).
  bool volumeDialogOpen = false;
  bool fadeDialogOpen = false;
  bool silenceDialogOpen = false;
  bool splitDialogOpen = false;
  bool playerHandOver = false;

  SourceAnalysis source;
  RemoveBoxes boxes;
  Id3v2TagState id3v2;
  Id3v1State id3v1;
};

}  // namespace quorvel
