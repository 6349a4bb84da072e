#pragma once
// What the ID3v2 editor's content buttons do: view a field's content (in a
// message, through the desktop's viewer for text files, or as a picture),
// save the original content to a file, load a mixed, binary or picture field
// from a file, show a field's extended information, and walk through the
// fields with improper headers. Contents come from where the tag model says
// they are: the source file at the field's position, or the file named in
// tload. Nothing here writes into the source file: a load changes only the
// field record, and the field is built from the loaded file when the tag is
// written. Files are written through a temporary file and renamed; the
// working files for the desktop's viewers go to the settings folder.

#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "tags/picture_content.h"

namespace quorvel {

// A picture for the internal image window; show is false when the handler
// reported a message, handed the picture to the desktop, or did nothing.
struct PictureView {
  bool show = false;
  std::vector<uint8_t> data;
  PictureKind kind = PictureKind::kUnknown;
  std::string format;       // "jpg", "png", "bmp", "gif", "ico"
  std::string mime;         // "image/png" ...
  std::string pictureType;  // the picture type's name ("Cover (front)")
};

// The caption of a field's messages: its catalogue description, for a picture
// the name of its picture type.
std::string FieldDescription(const Id3v2Field& field);

// "View current" of the mixed and binary lists, "View original" of the text
// list and the context menus' "View original content" / "View current
// content". field is the index in ctx.doc.id3v2.fields, or -1 for a main box
// that shows no field (boxName is then the caption). textInMessageBox is the
// viewer choice: true a message, false the desktop's application for text
// files (through the working file "Quorvel.tag.txt").
void ViewFieldContent(Context& ctx, int64_t field, bool original, bool textInMessageBox,
                      const std::string& boxName = {});

// "Save original" of the text, mixed and binary lists.
void SaveFieldOriginal(Context& ctx, uint32_t field);

// "Load from file" of the mixed and binary lists (also right after such a
// field is added). True when the field now takes the chosen file; false when
// the dialog was cancelled or the file refused (an added field is then taken
// out of its list again by the caller).
bool LoadFieldContent(Context& ctx, uint32_t field);

// The picture list: "View current" / "View original content" (internalViewer
// is the viewer choice), "Save original", "Load from file" (also right after a
// picture is added; true when the picture now takes the chosen file).
PictureView ViewPictureContent(Context& ctx, uint32_t field, bool original, bool internalViewer);
// Writes a picture to the working file of its kind and opens that with the
// desktop's viewer, as the system viewer setting does (the image window offers
// it for a picture too large to show). Links and unknown kinds are not written.
void OpenPictureWithDesktop(Context& ctx, const std::vector<uint8_t>& data, PictureKind kind);
void SavePictureOriginal(Context& ctx, uint32_t field);
bool LoadPictureContent(Context& ctx, uint32_t field);

// "Extended information": the text and the message. field -1 is a main box
// that shows no field. The caption is boxName when given, else the field's
// description.
std::string FieldInformationText(const Context& ctx, int64_t field);
void ShowFieldInformation(Context& ctx, int64_t field, const std::string& boxName = {});

// "View invalid fields": every field with an improper header, encoding or
// language in table order, each asked about, shown and optionally saved.
void ViewInvalidFields(Context& ctx);

}  // namespace quorvel
