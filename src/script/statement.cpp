#include "script/statement.h"

#include <array>
#include <string_view>
#include <utility>

namespace quorvel {

namespace {

constexpr std::array<std::pair<std::string_view, ScriptCommand>, 53> kCommandTable = {{
    {"SELECT", ScriptCommand::Select},
    {"CURSOR", ScriptCommand::Cursor},
    {"TRIM", ScriptCommand::Trim},
    {"DELETE", ScriptCommand::Delete},
    {"BASEDELETE", ScriptCommand::BaseDelete},
    {"CUT", ScriptCommand::Cut},
    {"COPY", ScriptCommand::Copy},
    {"PASTE", ScriptCommand::Paste},
    {"SELECTALL", ScriptCommand::SelectAll},
    {"UNSELECT", ScriptCommand::Unselect},
    {"FADEIN", ScriptCommand::FadeIn},
    {"FADEOUT", ScriptCommand::FadeOut},
    {"VOLUME", ScriptCommand::Volume},
    {"SILENCE", ScriptCommand::Silence},
    {"INSERT", ScriptCommand::Insert},
    {"LOAD", ScriptCommand::Load},
    {"SAVE", ScriptCommand::Save},
    {"SAVEAS", ScriptCommand::SaveAs},
    {"SAVESELECTION", ScriptCommand::SaveSelection},
    {"SPLIT", ScriptCommand::Split},
    {"RELOAD", ScriptCommand::Reload},
    {"CLOSE", ScriptCommand::Close},
    {"UNLOAD", ScriptCommand::Unload},
    {"PLAYINPUT", ScriptCommand::PlayInput},
    {"PLAYOUTPUT", ScriptCommand::PlayOutput},
    {"PLAYPREVIEW", ScriptCommand::PlayPreview},
    {"PLAYSELECTION", ScriptCommand::PlaySelection},
    {"NOID3V2", ScriptCommand::NoId3v2},
    {"REMOVEID3V2", ScriptCommand::RemoveId3v2},
    {"NOID3V1", ScriptCommand::NoId3v1},
    {"REMOVEID3V1", ScriptCommand::RemoveId3v1},
    {"NOOTHER", ScriptCommand::NoOther},
    {"REMOVEOTHER", ScriptCommand::RemoveOther},
    {"NOLYRICS", ScriptCommand::NoLyrics},
    {"REMOVELYRICS", ScriptCommand::RemoveLyrics},
    {"ID3V2.TITLE", ScriptCommand::Id3v2Title},
    {"ID3V2.ARTIST", ScriptCommand::Id3v2Artist},
    {"ID3V2.ALBUM", ScriptCommand::Id3v2Album},
    {"ID3V2.GENRE", ScriptCommand::Id3v2Genre},
    {"ID3V2.YEAR", ScriptCommand::Id3v2Year},
    {"ID3V2.TRACK", ScriptCommand::Id3v2Track},
    {"ID3V2.BPM", ScriptCommand::Id3v2Bpm},
    {"ID3V2.COMPOSER", ScriptCommand::Id3v2Composer},
    {"ID3V2.LYRICIST", ScriptCommand::Id3v2Lyricist},
    {"ID3V2.ENCODER", ScriptCommand::Id3v2Encoder},
    {"ID3V2.(C)", ScriptCommand::Id3v2Copyright},
    {"ID3V2.CGD", ScriptCommand::Id3v2Cgd},
    {"ID3V2.COMMENT", ScriptCommand::Id3v2Comment},
    {"ID3V2.LYRICS", ScriptCommand::Id3v2Lyrics},
    {"ID3V2.COMMENT.START", ScriptCommand::Id3v2CommentStart},
    {"ID3V2.LYRICS.START", ScriptCommand::Id3v2LyricsStart},
    {"ID3V2.URL", ScriptCommand::Id3v2Url},
    {"ID3V2.PICTURE", ScriptCommand::Id3v2Picture},
}};

}  // namespace

ScriptCommand LookUpCommand(const std::string& upperWord) {
  for (const auto& [word, command] : kCommandTable) {
    if (upperWord == word) return command;
  }
  return ScriptCommand::Unknown;
}

const char* CommandWord(ScriptCommand command) {
  for (const auto& [word, c] : kCommandTable) {
    if (c == command) return word.data();
  }
  return "";
}

}  // namespace quorvel
