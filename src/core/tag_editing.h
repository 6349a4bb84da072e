#pragma once
// What the tag editors ask of the document: whether they may open, their
// editing sessions (a copy of the tag that O&K commits as one edit), reading
// the ID3v1 record or the ID3v2 tag again from the source, loading an ID3v2
// field from a file, and the remove boxes after an editor closes.

#include <functional>
#include <optional>

#include "core/context.h"
#include "tags/text_encoding.h"

namespace quorvel {

// The tag editors open for a loaded document, never while a script runs or
// while the document is not ready.
bool TagEditorRefused(const Context& ctx);

// The ID3v2 editor's session: Begin makes the copy of the document's tag (or
// returns the one already open); the editor prepares it (a new tag's format,
// its lists) and then calls Ready, from which on a difference is a change.
// Commit makes the copy the document's tag: an edit like a cut (the document
// then has unsaved changes) when it differs from what was committed before;
// writeTag sets the main window's ID3v2 box as O&K does. The session stays
// open on the committed state until End.
Id3v2TagState& BeginId3v2Session(Context& ctx);
void Id3v2SessionReady(Context& ctx);
bool Id3v2SessionChanged(const Context& ctx);
void CommitId3v2Session(Context& ctx, bool writeTag);
void EndId3v2Session(Context& ctx);

// The same for the ID3v1 editor's record. Commit sets the ID3v1 box as
// closing the editor does.
Id3v1State& BeginId3v1Session(Context& ctx);
void Id3v1SessionReady(Context& ctx);
bool Id3v1SessionChanged(const Context& ctx);
void CommitId3v1Session(Context& ctx);
void EndId3v1Session(Context& ctx);

// What the user sees: the open session's copy, else the document's tag.
Id3v2TagState& EditedId3v2(Context& ctx);
const Id3v2TagState& EditedId3v2(const Context& ctx);
Id3v1State& EditedId3v1(Context& ctx);

// An editor is open with changes it has not applied.
bool TagEditsPending(const Context& ctx);
// Applies them through the host (each editor as its O&K does). False when the
// user went back to an editor; true when nothing was pending.
bool ApplyTagEdits(Context& ctx);
// The document is closed or replaced: the editors close and their sessions
// end, whatever they hold and whether or not an operation runs.
void EndTagSessions(Context& ctx);
// A script started by the user: an editor with changes it has not applied
// asks once whether to apply them (Yes) or drop them (No) before the editors
// close; Escape keeps everything and the script does not start (false).
bool SettleTagEditsForScript(Context& ctx);
extern const char* const kApplyTagEditsText;

// "&Reload tag" of the ID3v1 editor (the session's record, or the document's
// when no session is open): the record is cleared and, when the source
// had an ID3v1 tag, read again from it. A source that is no longer the file
// that was loaded leaves the record empty with the read warning. Returns
// whether the source has an ID3v1 tag.
bool ReloadId3v1Record(Context& ctx);

// The ID3v1 editor closed: its remove box is enabled exactly when the record
// holds something, and unchecked when it is disabled.
void Id3v1EditorClosed(Context& ctx, bool recordHoldsSomething);

// "&Reload tag" of the ID3v2 editor (the session's copy, or the document's
// tag when no session is open): the tag state goes back to the source's
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
