#include "script/tag_commands.h"

#include <array>
#include <string_view>

#include "script/reader.h"
#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

namespace {

constexpr uint8_t kPictureIndex = 2;
constexpr uint8_t kUserUrlIndex = 89;
// Added to the tag and edited (content in the record's texts).
constexpr uint8_t kScriptTextAction = kFieldAdded | kFieldEdited;
// Added, content read from an external file when the tag is written.
constexpr uint8_t kScriptFileAction = kFieldAdded | kFieldLoaded;

struct FieldWord {
  ScriptCommand command;
  uint8_t index;
};

constexpr std::array kFieldWords{
    FieldWord{ScriptCommand::Id3v2Album, 26},     FieldWord{ScriptCommand::Id3v2Bpm, 27},
    FieldWord{ScriptCommand::Id3v2Composer, 28},  FieldWord{ScriptCommand::Id3v2Genre, 29},
    FieldWord{ScriptCommand::Id3v2Copyright, 30}, FieldWord{ScriptCommand::Id3v2Encoder, 38},
    FieldWord{ScriptCommand::Id3v2Lyricist, 39},  FieldWord{ScriptCommand::Id3v2Cgd, 43},
    FieldWord{ScriptCommand::Id3v2Title, 44},     FieldWord{ScriptCommand::Id3v2Artist, 58},
    FieldWord{ScriptCommand::Id3v2Track, 65},     FieldWord{ScriptCommand::Id3v2Year, 76},
    FieldWord{ScriptCommand::Id3v2Comment, kBlockComment},
    FieldWord{ScriptCommand::Id3v2Lyrics, kBlockLyrics},
};

struct PictureName {
  std::string_view name;
  uint8_t type;
};

// Type 17 ("a bright coloured fish") has no name in scripts.
constexpr std::array kPictureNames{
    PictureName{"32X32_PNG_ICON", 1},      PictureName{"ICON", 2},
    PictureName{"FRONT_COVER", 3},         PictureName{"BACK_COVER", 4},
    PictureName{"LEAFLET_PAGE", 5},        PictureName{"MEDIA", 6},
    PictureName{"LEADING_ARTIST", 7},      PictureName{"ARTIST", 8},
    PictureName{"CONDUCTOR", 9},           PictureName{"BAND_OR_ORCHESTRA", 10},
    PictureName{"COMPOSER", 11},           PictureName{"LYRICIST", 12},
    PictureName{"RECORDING_LOCATION", 13}, PictureName{"RECORDING", 14},
    PictureName{"PERFORMANCE", 15},        PictureName{"SCREEN_CAPTURE", 16},
    PictureName{"ILLUSTRATION", 18},       PictureName{"ARTIST_LOGOTYPE", 19},
    PictureName{"PUBLISHER_LOGOTYPE", 20},
};

// One leading and one trailing double quote, when the tokenizer's escape rule left them.
std::string StripQuotes(std::string s) {
  if (!s.empty() && s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}

void StartTag(Context& ctx) {
  StartScriptTag(ctx.doc.id3v2, ctx.options.newTagFormat, ctx.options.paddingIndex);
}

// Appends a field as a script builds it and enters it into the list of its kind.
void AppendScriptField(Context& ctx, Id3v2Field field) {
  Id3v2TagState& tag = ctx.doc.id3v2;
  field.tlan = "eng";
  const uint32_t index = tag.fieldcount();
  const uint8_t tip = field.tip;
  tag.fields.push_back(std::move(field));
  switch (tip) {
    case kFieldText:
      tag.textlist.push_back(index);
      break;
    case kFieldMixed:
      tag.mixlist.push_back(index);
      break;
    case kFieldPicture:
      tag.piclist.push_back(index);
      break;
    default:
      tag.binlist.push_back(index);
      break;
  }
  ctx.host.changed(kChangedTags);
}

Id3v2Field TextField(uint8_t index, std::string text, std::string description) {
  Id3v2Field f;
  f.ind = index;
  f.tip = kFieldText;
  f.sub = index < Id3v2Catalogue.size() ? Id3v2Catalogue[index].fel : 0;
  f.akcija = kScriptTextAction;
  f.enc = ScriptFieldEncoding(text, description);
  f.tansi = std::move(text);
  f.tcont = std::move(description);
  return f;
}

// Parameter `first`, then " " and each following parameter while they are present.
std::string JoinedWords(const ScriptStatement& st, int first) {
  std::string text = st.param[first];
  for (int i = first + 1; i <= 4 && !st.param[i].empty(); ++i) text += " " + st.param[i];
  return text;
}

}  // namespace

uint8_t ScriptFieldEncoding(const std::string& utf8Text, const std::string& utf8Description) {
  for (const std::string* s : {&utf8Text, &utf8Description})
    for (char c : *s)
      if (static_cast<uint8_t>(c) > 127) return kEncUtf16Bom;
  return kEncLatin1;
}

uint8_t FieldCommandIndex(ScriptCommand command) {
  for (const FieldWord& w : kFieldWords)
    if (w.command == command) return w.index;
  return 0;
}

uint8_t PictureTypeFromName(const std::string& name) {
  if (name.size() < 4) return 0;
  for (const PictureName& p : kPictureNames)
    if (p.name == name) return p.type;
  return 0;
}

void RemoveBlockCommand(Context& ctx, ScriptCommand command) {
  if (RequireDocument(ctx)) return;
  RemoveBoxes& boxes = ctx.doc.boxes;
  auto check = [](RemoveBox& box) {
    if (box.enabled) box.checked = true;
  };
  switch (command) {
    case ScriptCommand::NoId3v2:
    case ScriptCommand::RemoveId3v2:
      check(boxes.id3v2);
      break;
    case ScriptCommand::NoId3v1:
    case ScriptCommand::RemoveId3v1:
      check(boxes.id3v1);
      break;
    case ScriptCommand::NoLyrics:
    case ScriptCommand::RemoveLyrics:
      check(boxes.lyrics);
      break;
    case ScriptCommand::NoOther:
    case ScriptCommand::RemoveOther:
      if (boxes.footer.enabled || boxes.behindHeader.enabled || boxes.riff.enabled) {
        for (RemoveBox* box : {&boxes.footer, &boxes.behindHeader, &boxes.riff}) box->checked = box->enabled;
      }
      break;
    default:
      return;
  }
  ctx.host.changed(kChangedTags);
}

void TextFieldCommand(Context& ctx, ScriptCommand command) {
  ScriptStatement& st = ctx.script.statement;
  if (st.parameterCount == 0) return;
  st.param[1] = StripQuotes(st.param[1]);
  const std::string text = JoinedWords(st, 1);
  if (text.empty()) return;
  const uint8_t index = FieldCommandIndex(command);
  StartTag(ctx);
  if (*Id3v2Code(index, ctx.doc.id3v2.tagversion.major) == '\0') {
    ctx.script.errorText = "That field doesn't exist in this version of id3v2 tag.";
    return;
  }
  AppendScriptField(ctx, TextField(index, text, {}));
}

void UrlFieldCommand(Context& ctx) {
  ScriptStatement& st = ctx.script.statement;
  if (st.parameterCount == 0) return;
  st.param[1] = StripQuotes(st.param[1]);
  std::string description = st.param[2];
  if (st.parameterCount > 2) description += " " + st.param[3];
  if (st.parameterCount > 3) description += " " + st.param[4];
  StartTag(ctx);
  Id3v2Field f = TextField(kUserUrlIndex, st.param[1], std::move(description));
  f.sub = kPartEncoding | kPartDescription;
  AppendScriptField(ctx, std::move(f));
}

void BlockStartCommand(Context& ctx, ScriptCommand command) {
  ScriptRun& run = ctx.script;
  run.statement.param[1] = StripQuotes(run.statement.param[1]);
  run.blockDescription = run.statement.param[1];
  run.blockField = command == ScriptCommand::Id3v2LyricsStart ? kBlockLyrics : kBlockComment;
  run.blockText.clear();
  run.blockOpen = true;
}

void CloseScriptBlock(Context& ctx) {
  ScriptRun& run = ctx.script;
  run.blockOpen = false;
  StartTag(ctx);
  std::string text = std::move(run.blockText);
  run.blockText.clear();
  if (text.size() > 1) text.resize(text.size() - 2);
  AppendScriptField(ctx, TextField(run.blockField, std::move(text), run.blockDescription));
}

void PictureFieldCommand(Context& ctx) {
  ScriptStatement& st = ctx.script.statement;
  st.param[1] = StripQuotes(st.param[1]);
  st.param[2] = StripQuotes(st.param[2]);
  const uint8_t type = PictureTypeFromName(st.param[2]);
  StartTag(ctx);
  Id3v2Field f;
  f.ind = kPictureIndex;
  f.tip = kFieldPicture;
  f.sub = type;
  f.akcija = kScriptFileAction;
  f.tload = st.param[1];
  AppendScriptField(ctx, std::move(f));
}

}  // namespace quorvel
