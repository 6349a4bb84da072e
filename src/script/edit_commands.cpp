#include "script/edit_commands.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

#include "core/analysis.h"
#include "core/document_ops.h"
#include "core/edit_dialogs.h"
#include "core/edit_ops.h"
#include "core/gain.h"
#include "core/insert_ops.h"
#include "core/mpeg_header.h"
#include "script/command_texts.h"
#include "script/reader.h"

namespace quorvel {

namespace {

constexpr unsigned kFirstPosition = 1;
constexpr unsigned kSecondPosition = 2;
constexpr unsigned kBothPositions = kFirstPosition | kSecondPosition;

ScriptStatement& Statement(Context& ctx) { return ctx.script.statement; }

void Fail(Context& ctx, std::string text) { ctx.script.errorText = std::move(text); }

// Validates parameter n (1 or 2) as a position; on failure the error text is
// the label followed by the parameter as it stands.
bool PositionInvalid(Context& ctx, int n, const std::string& label) {
  const std::string& p = Statement(ctx).param[static_cast<size_t>(n)];
  double seconds = 0;
  if (!ParseTimeText(p, seconds)) return false;
  Fail(ctx, label + p);
  return true;
}

// Prepares (when asked) and validates positions 1 and 2, first parameter
// first. False when one is invalid (errorText set).
bool CheckTwoPositions(Context& ctx, bool prepare, const std::string& firstLabel,
                       const std::string& secondLabel) {
  if (prepare) PreparePositionParams(ctx, kBothPositions);
  return !PositionInvalid(ctx, 1, firstLabel) && !PositionInvalid(ctx, 2, secondLabel);
}

std::string OrdinalLabel(const char* ordinal, const std::string& word) {
  return std::string(ordinal) + " " + word + " parameter invalid:\r\n";
}

// Parameter rules shared by DELETE, CUT and COPY: none (the current selection)
// or two prepared positions; a single parameter is refused.
bool SelectionParameters(Context& ctx, const std::string& word) {
  const ScriptStatement& st = Statement(ctx);
  if (st.parameterCount == 1) {
    Fail(ctx, word + ": must have 0 or 2 parameters.");
    return false;
  }
  if (st.parameterCount >= 2) {
    if (!CheckTwoPositions(ctx, true, OrdinalLabel("1st", word), OrdinalLabel("2nd", word))) return false;
    ApplyPositions(ctx);
  }
  return true;
}

// The statement's result from the operation's code; the operation's own
// message (left in errorText while a script runs) is taken first.
void ReportCode(Context& ctx, std::span<const CodeText> table) {
  const std::string message = ctx.script.errorText;
  ctx.script.errorText = ResultCodeText(ctx, table, ctx.script.resultCode, message);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace

bool ParseMagnitude(const std::string& text, double lo, double hi, double& value) {
  value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  double v = 0;
  auto [end, ec] = std::from_chars(first, last, v, std::chars_format::fixed);
  if (first == last || ec != std::errc() || end != last || !std::isfinite(v)) return false;
  if (!(v >= lo && v <= hi)) return false;
  value = v;
  return true;
}

int RoundHalfEven(double value, int fallback) {
  if (!std::isfinite(value)) return fallback;
  const double r = std::nearbyint(value);  // the default rounding mode: to nearest, ties to even
  if (r < std::numeric_limits<int>::min() || r > std::numeric_limits<int>::max()) return fallback;
  return static_cast<int>(r);
}

std::string StripFileNameQuotes(std::string name) {
  if (!name.empty() && name.back() == '"') name.pop_back();
  if (!name.empty() && name.front() == '"') name.erase(0, 1);
  return name;
}

void SelectCommand(Context& ctx) {
  const ScriptStatement& st = Statement(ctx);
  if (st.parameterCount == 0) return Fail(ctx, "SELECT: missing parameter(s).");
  if (RequireDocument(ctx)) return;
  PreparePositionParams(ctx, kBothPositions);
  if (PositionInvalid(ctx, 1, "1st SELECT parameter invalid:\r\n")) return;
  if (!st.param[2].empty() && PositionInvalid(ctx, 2, "2nd SELECT parameter invalid:\r\n")) return;
  ApplyPositions(ctx);
}

void TrimCommand(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (RequireDocument(ctx)) return;
  const ScriptStatement& st = Statement(ctx);
  if (st.parameterCount == 1) return Fail(ctx, "TRIM: must have 0 or 2 parameters.");
  if (st.parameterCount >= 2) {
    if (!CheckTwoPositions(ctx, false, "1st TRIM parameter invalid:\r\n", "2nd TRIM parameter invalid:\r\n"))
      return;
    ApplyPositions(ctx);
  }
  aline_udv(doc);
  const int32_t start = doc.cursor;
  if (!TrimEnabled(ctx)) return Fail(ctx, "TRIM: multiple frames not selected.");
  TrimButClick(ctx);
  if (ctx.script.resultCode == 0) ctx.script.baseOffset += start;
  ReportCode(ctx, TrimCodeTexts());
}

void DeleteCommand(Context& ctx) {
  if (RequireDocument(ctx)) return;
  if (!SelectionParameters(ctx, "DELETE")) return;
  if (!DeleteEnabled(ctx)) return Fail(ctx, "DELETE: multiple frames not selected.");
  const int32_t before = ctx.doc.editCount;
  DelButClick(ctx);
  if (ctx.script.resultCode == 0) ctx.script.baseOffset += before - ctx.doc.editCount;
  ReportCode(ctx, DeleteCodeTexts());
}

void BaseDeleteCommand(Context& ctx) {
  DocumentState& doc = ctx.doc;
  ScriptRun& run = ctx.script;
  if (RequireDocument(ctx)) return;
  const ScriptStatement& st = run.statement;
  if (st.param[1].empty() || st.param[2].empty()) return Fail(ctx, "BASEDELETE: must have 2 parameters.");
  if (!CheckTwoPositions(ctx, true, "1st BASEDELETE parameter invalid:\r\n", "2nd BASEDELETE parameter invalid:\r\n"))
    return;
  double t1 = 0;
  double t2 = 0;
  ParseTimeText(st.param[1], t1);
  ParseTimeText(st.param[2], t2);
  // Positions in the file as the script found it: frames removed earlier lay before them.
  const int64_t start = static_cast<int64_t>(FrameAtTime(doc, t1)) - run.baseOffset;
  const int64_t end = static_cast<int64_t>(FrameAtTime(doc, t2)) - run.baseOffset;
  if (start < std::numeric_limits<int32_t>::min() || end < std::numeric_limits<int32_t>::min())
    return Fail(ctx, "BASEDELETE: floating point calculation error.");
  // The prefixes R+ and R- were removed; these positions are always absolute.
  run.relativeMode = {RelativeMode::Absolute, RelativeMode::Absolute};
  doc.cursor = static_cast<int32_t>(start);
  doc.selectionEnd = static_cast<int32_t>(end);
  aline_udv(doc);
  const int32_t lower = doc.cursor;
  const int32_t upper = doc.selectionEnd;
  run.positionBoxes[0].text = TimeText(TimeAtFrame(doc, lower), 3);
  ApplyPositionBox(ctx, 0);
  run.positionBoxes[1].text = TimeText(TimeAtFrame(doc, upper), 3);
  ApplyPositionBox(ctx, 1);
  // The boxes hold millisecond texts; the positions themselves are exact.
  doc.cursor = lower;
  doc.selectionEnd = upper;
  SetSelectionExists(doc, lower != upper);
  run.selectionSpan = upper - lower;
  if (!DeleteEnabled(ctx)) return Fail(ctx, "BASEDELETE: multiple frames not selected.");
  DelButClick(ctx);
  if (run.resultCode == 0) run.baseOffset += run.selectionSpan;
  ReportCode(ctx, BaseDeleteCodeTexts());
}

void CutCommand(Context& ctx) {
  if (RequireDocument(ctx)) return;
  if (!SelectionParameters(ctx, "CUT")) return;
  if (!DeleteEnabled(ctx)) return Fail(ctx, "CUT: multiple frames not selected.");
  CutButClick(ctx);
  ReportCode(ctx, CutCodeTexts());
}

void CopyCommand(Context& ctx) {
  if (RequireDocument(ctx)) return;
  if (!SelectionParameters(ctx, "COPY")) return;
  if (!DeleteEnabled(ctx)) return Fail(ctx, "COPY: you must select some frames first.");
  CopybutClick(ctx);
  ReportCode(ctx, CopyCodeTexts());
}

void PasteCommand(Context& ctx) {
  if (RequireDocument(ctx)) return;
  const ScriptStatement& st = Statement(ctx);
  if (st.parameterCount == 1) {
    PreparePositionParams(ctx, kFirstPosition);
    if (PositionInvalid(ctx, 1, "1st PASTE parameter invalid:\r\n")) return;
    ApplyPositions(ctx);
  } else if (st.parameterCount >= 2) {
    if (!CheckTwoPositions(ctx, true, "1st PASTE parameter invalid:\r\n", "2nd PASTE parameter invalid:\r\n"))
      return;
    ApplyPositions(ctx);
  }
  if (!PasteEnabled(ctx)) return Fail(ctx, "PASTE: clipboard is empty.");
  PastebutClick(ctx);
  ReportCode(ctx, PasteCodeTexts());
}

void SelectAllCommand(Context& ctx) {
  if (RequireDocument(ctx)) return;
  if (NotReady(ctx)) return Fail(ctx, "SELECTALL: disabled - not ready? unknown error?");
  SelAllButClick(ctx);
  ReportCode(ctx, SelectAllCodeTexts());
}

void UnselectCommand(Context& ctx) {
  if (RequireDocument(ctx)) return;
  if (!ctx.doc.selectionExists) return;
  if (NotReady(ctx)) return Fail(ctx, "UNSELECT: disabled - not ready? unknown error?");
  UnselbutClick(ctx);
  ReportCode(ctx, UnselectCodeTexts());
}

void FadeCommand(Context& ctx, bool fadeIn) {
  const std::string word = fadeIn ? "FADEIN" : "FADEOUT";
  if (RequireDocument(ctx)) return;
  const ScriptStatement& st = Statement(ctx);
  if (st.parameterCount == 0) return Fail(ctx, word + ": missing parameter(s).");
  if (st.parameterCount == 2) return Fail(ctx, word + ": must have 1 or 3 parameters.");
  std::string magnitudeText = st.param[1];
  if (st.parameterCount >= 3) {
    if (!CheckTwoPositions(ctx, true, word + " start time invalid:\r\n", word + " end time invalid:\r\n")) return;
    ApplyPositions(ctx);
    magnitudeText = st.param[3];
  }
  double magnitude = 0;
  if (!ParseMagnitude(magnitudeText, 1.0, 60.5, magnitude))
    return Fail(ctx, word + " magnitude parameter invalid:\r\n" + magnitudeText);
  if (!DeleteEnabled(ctx)) return Fail(ctx, word + ": multiple frames not selected.");
  const int steps = RoundHalfEven(magnitude / 1.5, kDefaultFadeSteps);
  ctx.edit.fadeIn = fadeIn;
  ctx.edit.fadeMagnitude = steps;
  RememberFadeChoice(ctx, FadeChoice{steps, fadeIn});
  FadeButClick(ctx);
  ReportCode(ctx, FadeCodeTexts(fadeIn));
}

void VolumeCommand(Context& ctx) {
  const ScriptStatement& st = Statement(ctx);
  if (st.parameterCount == 0) return Fail(ctx, "VOLUME: missing parameter(s).");
  if (RequireDocument(ctx)) return;
  std::string magnitudeText = st.param[1];
  std::string channelText = st.param[2];
  if (st.parameterCount >= 3) {
    if (!CheckTwoPositions(ctx, true, "VOLUME start time invalid:\r\n", "VOLUME end time invalid:\r\n")) return;
    ApplyPositions(ctx);
    magnitudeText = st.param[3];
    channelText = st.param[4];
  }
  double magnitude = 0;
  if (!ParseMagnitude(magnitudeText, -60.5, 60.5, magnitude))
    return Fail(ctx, "VOLUME magnitude parameter invalid:\r\n" + magnitudeText);
  std::string channel = channelText;
  for (char& c : channel)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  ChannelChoice choice;
  if (channel.empty() || channel == "BOTH") {
    choice = ChannelChoice::kBoth;
  } else if (channel == "LEFT") {
    choice = ChannelChoice::kLeft;
  } else if (channel == "RIGHT") {
    choice = ChannelChoice::kRight;
  } else {
    return Fail(ctx, "VOLUME channel parameter invalid:\r\n" + channelText);
  }
  if (!DeleteEnabled(ctx)) return Fail(ctx, "VOLUME: multiple frames not selected.");
  const int steps = RoundHalfEven(magnitude / 1.5, std::numeric_limits<int>::min());
  if (steps == std::numeric_limits<int>::min()) return Fail(ctx, "VOLUME: floating point calculation error.");
  if (steps == 0) return;
  ctx.edit.volumeStep = steps;
  ctx.edit.channelChoice = choice;
  AmplifybutClick(ctx);
  ReportCode(ctx, VolumeCodeTexts());
}

void SilenceCommand(Context& ctx) {
  const ScriptStatement& st = Statement(ctx);
  std::string lengthText = st.param[1];
  if (!st.param[2].empty()) {
    if (st.param[1].empty() || st.param[3].empty()) return Fail(ctx, "SILENCE: must have 1 or 3 parameters.");
    if (!CheckTwoPositions(ctx, true, "SILENCE start time invalid:\r\n", "SILENCE end time invalid:\r\n")) return;
    // Without a document there is nothing to place; the missing file is reported below.
    if (ctx.doc.editCount > 0) ApplyPositions(ctx);
    lengthText = st.param[3];
  }
  double length = 0;
  if (ParseTimeText(lengthText, length)) return Fail(ctx, "SILENCE length parameter invalid:\r\n" + lengthText);
  if (RequireDocument(ctx)) return;
  const int frequency = FrequencyAt(ctx.doc, 0);
  const int frames = RoundHalfEven(length / SilenceFrameDuration(frequency, ctx.doc.version), 0);
  if (frames <= 0) return Fail(ctx, "SILENCE to insert must be at least one frame long.");
  if (NotReady(ctx)) return Fail(ctx, NotReadyText(ctx));
  ctx.edit.silenceCount = frames;
  // The count is for frames of the first frame's sampling frequency and the
  // document's version (blank frames are always of that version); blank frames
  // of another frequency would last longer or shorter than asked and leave the
  // file with mixed sampling frequencies. Bitrate and mode stay as last chosen.
  ctx.edit.silenceFrequency = static_cast<uint8_t>(frequency);
  EmptybutClick(ctx);
  ReportCode(ctx, SilenceCodeTexts());
}

void InsertCommand(Context& ctx) {
  ScriptStatement& st = Statement(ctx);
  if (RequireDocument(ctx)) return;
  const int count = st.parameterCount;
  if (count == 0) return Fail(ctx, "INSERT: no parameter.");
  const std::string fileName = StripFileNameQuotes(st.param[static_cast<size_t>(count)]);
  ctx.script.errorText.clear();
  ctx.edit.insertFileName = fileName;
  if (count >= 2) {
    PreparePositionParams(ctx, kFirstPosition);
    if (PositionInvalid(ctx, 1, "1st INSERT parameter invalid:\r\n")) return;
  }
  if (count >= 3) {
    PreparePositionParams(ctx, kSecondPosition);
    if (PositionInvalid(ctx, 2, "2nd INSERT parameter invalid:\r\n")) return;
  }
  if (count == 2) {
    // Parameter 2 is the file name here, not a position: a name that happens to
    // read as a time must not select anything.
    const std::string name = std::move(st.param[2]);
    st.param[2].clear();
    ApplyPositions(ctx);
    st.param[2] = name;
  } else if (count >= 3) {
    ApplyPositions(ctx);
  }
  if (NotReady(ctx)) return Fail(ctx, NotReadyText(ctx));
  MenuInsertClick(ctx);
  ReportCode(ctx, InsertCodeTexts());
}

void LoadCommand(Context& ctx) {
  ScriptStatement& st = Statement(ctx);
  if (st.param[1].empty()) return Fail(ctx, "LOAD: no parameter.");
  const std::string fileName = StripFileNameQuotes(st.param[1]);
  if (NotReady(ctx)) return Fail(ctx, NotReadyText(ctx));
  ctx.script.errorText.clear();
  Loadfile(ctx, fileName);
  ReportCode(ctx, LoadCodeTexts());
}

void ReloadCommand(Context& ctx) {
  if (NotReady(ctx) || !FileExists(ctx.doc.sourceName)) return Fail(ctx, NotReadyText(ctx));
  ctx.script.errorText.clear();
  ReloadbutClick(ctx, true);
  ReportCode(ctx, ReloadCodeTexts());
}

void CloseCommand(Context& ctx) {
  if (NotReady(ctx)) return Fail(ctx, NotReadyText(ctx));
  unloadall(ctx, false);
  ctx.script.resultCode = 0;
  ctx.script.errorText.clear();
}

void PlayCommand(Context& ctx, ScriptCommand command) {
  PlayRequest request;
  std::span<const CodeText> table;
  std::string unavailable;
  switch (command) {
    case ScriptCommand::PlayInput:
      request = PlayRequest::Input;
      table = PlayInputCodeTexts();
      unavailable = "PLAYINPUT: disabled - no file loaded? not ready?";
      break;
    case ScriptCommand::PlayOutput:
      request = PlayRequest::Output;
      table = PlayOutputCodeTexts();
      unavailable = "PLAYOUTPUT: disabled - no file saved? not ready?";
      break;
    case ScriptCommand::PlayPreview:
      request = PlayRequest::Preview;
      table = PlayPreviewCodeTexts();
      if (RequireDocument(ctx)) return;
      unavailable = NotReadyText(ctx);
      break;
    case ScriptCommand::PlaySelection: {
      request = PlayRequest::Selection;
      table = PlaySelectionCodeTexts();
      const ScriptStatement& st = Statement(ctx);
      if (!st.param[1].empty()) {
        if (st.param[2].empty()) return Fail(ctx, "PLAYSELECTION: must have 0 or 2 parameters.");
        if (!CheckTwoPositions(ctx, false, "1st PLAYSELECTION parameter invalid:\r\n",
                               "2nd PLAYSELECTION parameter invalid:\r\n"))
          return;
        if (ctx.doc.editCount > 0) ApplyPositions(ctx);
      }
      if (RequireDocument(ctx)) return;
      if (!ctx.doc.selectionExists) return Fail(ctx, "PLAYSELECTION: no selection.");
      unavailable = "PLAYSELECTION: disabled - not ready? unknown error?";
      break;
    }
    default:
      return;
  }
  if (!ctx.play || !ctx.playAvailable || !ctx.playAvailable(ctx, request)) return Fail(ctx, unavailable);
  ctx.script.errorText.clear();
  ctx.script.resultCode = static_cast<uint8_t>(ctx.play(ctx, request));
  ReportCode(ctx, table);
}

}  // namespace quorvel
