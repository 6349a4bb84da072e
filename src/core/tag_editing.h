#pragma once
// What the tag editors ask of the document: whether they may open, reading the
// ID3v1 record or the ID3v2 tag again from the source, loading an ID3v2 field
// from a file, and the remove boxes after an editor closes.

#include <functional>
#include <optional>

#include "core/context.h"
#include "tags/text_encoding.h"

namespace quorvel {

// The tag editors open for a loaded document, never while a script runs or
// while the document is not ready.
bool TagEditorRefused(const Context& ctx);

// "&Reload tag" of the ID3v1 editor: the record is cleared and, when the source
// had an ID3v1 tag, read again from it. A source that is no longer the file
// that was loaded leaves the record empty with the read warning. Returns
// whether the source has an ID3v1 tag.
bool ReloadId3v1Record(Context& ctx);

// The ID3v1 editor closed: its remove box is enabled exactly when the record
// holds something, and unchecked when it is disabled.
void Id3v1EditorClosed(Context& ctx, bool recordHoldsSomething);

// "&Reload tag" of the ID3v2 editor: the tag state goes back to the source's
// version and settings and its fields are read again from the source. A source
// that is no longer the file that was loaded leaves no fields, with the disk
// read message; a tag that stops at an improper field keeps the fields before
// it, with "Invalid id3v2 tag.". Returns whether the fields were read.
bool ReloadId3v2Tag(Context& ctx);

// "Load from file" for a text field of the ID3v2 editor's other-text list: the
// user picks a text file; `dialog` confirms its encoding, language and
// description (nullopt cancels). False when the field was not loaded; the
// messages are shown.
using TextFieldDialog = std::function<std::optional<TextLoadDialogAnswer>(const TextLoadDialogSetup&)>;
bool LoadId3v2TextFieldFromFile(Context& ctx, uint32_t field, const TextFieldDialog& dialog);

// The ID3v2 editor closed. Accepted by OK: the ID3v2 box is enabled exactly
// when a field is left to write, and unchecked when it is disabled.
void Id3v2EditorClosed(Context& ctx, bool accepted, bool writeTag);

}  // namespace quorvel
