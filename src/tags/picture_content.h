#pragma once
// Pictures held in ID3v2 tags, as the field viewer handles them: the image
// kind named by a 2.2 format or a MIME type (or a file's extension), the
// working file a picture is written to for viewing, reading a picture file
// within the size limit, and links ("-->" pictures) sorted into what may be
// opened and how.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

enum class PictureKind { kJpg, kPng, kBmp, kGif, kIco, kLink, kUnknown };

// "jpg" or "image/jpeg", "image/jpg", "image/jfif"; "png" / "image/png";
// "bmp" / "image/bmp"; "gif" / "image/gif"; "ico" / "image/ico"; "-->" a link;
// compared without case. Anything else is kUnknown.
PictureKind PictureKindFromMime(std::string_view formatOrMime);
// ".jpg", ".jpeg", ".jfif", ".png", ".gif", ".bmp", ".ico", without case.
PictureKind PictureKindFromExtension(std::string_view path);
// "jpg", "png", "bmp", "gif", "ico"; empty for a link or an unknown kind.
const char* PictureKindExtension(PictureKind kind);
// The working file in the settings folder a picture is written to for viewing.
std::string PictureWorkingFileName(PictureKind kind);  // "Quorvel.tag.image.png"

constexpr int64_t kPictureFileLimit = 67108864;  // 64 MB
extern const char* const kImageTooLargeText;
extern const char* const kImageEmptyText;

// Reads a picture file for the image window. Empty text on success, else the
// message to show (kind 2): too large, empty, cannot be opened, cannot be read.
std::string ReadPictureFile(const std::string& path, std::vector<uint8_t>& data);

constexpr size_t kPictureLinkLimit = 768;

enum class PictureLinkKind {
  kTooLong,        // more than 768 bytes
  kUrl,            // http, https, ftp, gopher or telnet: ask before opening
  kInvalidColon,   // a colon in the first position
  kAbsolutePath,   // a path starting with "/"
  kRelativePath,   // any other text: a path relative to the source's folder
};

struct PictureLink {
  PictureLinkKind kind;
  std::string target;  // the URL, or the path (relative ones made absolute)
};

// Sorts a link's text (already decoded with the field's encoding). A path
// loses one pair of surrounding double quotes; a relative one is joined to
// sourceFolder. A scheme other than the five allowed ones is never a URL to
// open: "file:", "javascript:" and the like are taken as relative paths, which
// then have to exist as files.
PictureLink ClassifyPictureLink(const std::string& text, const std::string& sourceFolder);
extern const char* const kLinkTooLongText;
extern const char* const kLinkInvalidColonText;
// The question before a URL is opened; the URL follows it.
extern const char* const kOpenUrlQuestion;

}  // namespace quorvel
