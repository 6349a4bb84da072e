#pragma once
// What the tag editors ask of the document: whether they may open, reading the
// ID3v1 record again from the source, and the remove box after the ID3v1
// editor closes.

#include "core/context.h"

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

}  // namespace quorvel
