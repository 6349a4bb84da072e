#pragma once
// The script language's command table. The statement itself (ScriptStatement:
// command word, parameters, parameter count, line number) and the block state
// live in core/script_run.h because the running script's state holds them.

#include <cstdint>
#include <string>

#include "core/script_run.h"

namespace quorvel {

struct Context;

// Every command word of the language, one enumerator per word (synonyms such as
// SELECT / CURSOR or NOID3V2 / REMOVEID3V2 are separate words with one handler).
enum class ScriptCommand : uint8_t {
  Unknown = 0,
  // Editing, file and playback commands.
  Select,
  Cursor,
  Trim,
  Delete,
  BaseDelete,
  Cut,
  Copy,
  Paste,
  SelectAll,
  Unselect,
  FadeIn,
  FadeOut,
  Volume,
  Silence,
  Insert,
  Load,
  Save,
  SaveAs,
  SaveSelection,
  Split,
  Reload,
  Close,
  Unload,
  PlayInput,
  PlayOutput,
  PlayPreview,
  PlaySelection,
  // Removal of the blocks around the audio.
  NoId3v2,
  RemoveId3v2,
  NoId3v1,
  RemoveId3v1,
  NoOther,
  RemoveOther,
  NoLyrics,
  RemoveLyrics,
  // Single-line ID3v2 fields.
  Id3v2Title,
  Id3v2Artist,
  Id3v2Album,
  Id3v2Genre,
  Id3v2Year,
  Id3v2Track,
  Id3v2Bpm,
  Id3v2Composer,
  Id3v2Lyricist,
  Id3v2Encoder,
  Id3v2Copyright,  // ID3V2.(C)
  Id3v2Cgd,
  Id3v2Comment,
  Id3v2Lyrics,
  // Blocks, URL and picture.
  Id3v2CommentStart,
  Id3v2LyricsStart,
  Id3v2Url,
  Id3v2Picture,
  // Not a command word: the reader calls the handler with BlockEnd when the end
  // marker ("ID3V2.COMMENT.END" / "ID3V2.LYRICS.END") closed an open block. The
  // reader has already set blockOpen false; blockField, blockDescription and
  // blockText (every collected line followed by "\r\n") hold the block, and the
  // handler turns it into the field.
  BlockEnd,
};

// The command of an upper-case command word; whole words only ("SELECTALL" is
// not "SELECT"). Unknown for any other word.
ScriptCommand LookUpCommand(const std::string& upperWord);

// The upper-case word of a command ("" for Unknown).
const char* CommandWord(ScriptCommand command);

// Runs one command on ctx.script.statement (the commands' implementation,
// script/commands.cpp). The handler leaves errorText non-empty when it failed.
using CommandHandler = void (*)(Context& ctx, ScriptCommand command);

}  // namespace quorvel
