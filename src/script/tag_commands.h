#pragma once
// The tag commands of a script: marking the blocks around the audio for
// removal, and building a new ID3v2 tag field by field (single-line text
// fields, the URL, multi-line comment and lyrics blocks, pictures). The first
// field command of a run replaces every field the document held.

#include <cstdint>
#include <string>

#include "core/context.h"
#include "script/statement.h"

namespace quorvel {

// NOID3V2 / REMOVEID3V2, NOID3V1 / REMOVEID3V1, NOLYRICS / REMOVELYRICS,
// NOOTHER / REMOVEOTHER: check the remove boxes of blocks the source holds.
void RemoveBlockCommand(Context& ctx, ScriptCommand command);

// ID3V2.TITLE ... ID3V2.LYRICS: one text field from up to four words.
void TextFieldCommand(Context& ctx, ScriptCommand command);

// ID3V2.URL url [description words]: a WXXX field.
void UrlFieldCommand(Context& ctx);

// ID3V2.COMMENT.START / ID3V2.LYRICS.START [description]: opens a block; the
// reader collects the following lines until the end marker.
void BlockStartCommand(Context& ctx, ScriptCommand command);

// The end marker of the open block: its text, without the final line break,
// becomes a comment or lyrics field and the block is closed.
void CloseScriptBlock(Context& ctx);

// ID3V2.PICTURE file type: an attached picture read from the file when the tag
// is written.
void PictureFieldCommand(Context& ctx);

// The ID3v2 catalogue index of a field command (0 for other commands).
uint8_t FieldCommandIndex(ScriptCommand command);

// The picture type named by a script (exact upper-case names; 0 for anything
// else, including lower case and names shorter than four characters).
uint8_t PictureTypeFromName(const std::string& name);

// The encoding a script-built text field is written in: UTF-16 with byte-order
// mark when any character lies above 127, otherwise ISO-8859-1. (Characters
// that ISO-8859-1 cannot hold must never be cut to their low byte.)
uint8_t ScriptFieldEncoding(const std::string& utf8Text, const std::string& utf8Description);

}  // namespace quorvel
