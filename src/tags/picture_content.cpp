#include "tags/picture_content.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "tags/file_io.h"

namespace quorvel {

const char* const kImageTooLargeText = "Image too large, 64 MB max please.";
const char* const kImageEmptyText = "The file is empty.";
const char* const kLinkTooLongText =
    "This picture field contains embedded URL instead of data.\r\nHowever, this URL is larger than 768 characters "
    "and can't\r\nbe processed by Quorvel.";
const char* const kLinkInvalidColonText = "Invalid embedded relative path (starting with a colon).";
const char* const kOpenUrlQuestion =
    "This picture field contains embedded URL instead of data.\r\nThere may be security issues associated with "
    "opening it.\r\n\r\nAttempt to open this URL?\r\n\r\n";

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

PictureKind PictureKindFromMime(std::string_view formatOrMime) {
  std::string m = Lower(formatOrMime);
  if (m == "jpg" || m == "image/jpeg" || m == "image/jpg" || m == "image/jfif") return PictureKind::kJpg;
  if (m == "png" || m == "image/png") return PictureKind::kPng;
  if (m == "bmp" || m == "image/bmp") return PictureKind::kBmp;
  if (m == "gif" || m == "image/gif") return PictureKind::kGif;
  if (m == "ico" || m == "image/ico") return PictureKind::kIco;
  if (m == "-->") return PictureKind::kLink;
  return PictureKind::kUnknown;
}

PictureKind PictureKindFromExtension(std::string_view path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return PictureKind::kUnknown;
  std::string ext = Lower(path.substr(dot));
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jfif") return PictureKind::kJpg;
  if (ext == ".png") return PictureKind::kPng;
  if (ext == ".gif") return PictureKind::kGif;
  if (ext == ".bmp") return PictureKind::kBmp;
  if (ext == ".ico") return PictureKind::kIco;
  return PictureKind::kUnknown;
}

const char* PictureKindExtension(PictureKind kind) {
  switch (kind) {
    case PictureKind::kJpg: return "jpg";
    case PictureKind::kPng: return "png";
    case PictureKind::kBmp: return "bmp";
    case PictureKind::kGif: return "gif";
    case PictureKind::kIco: return "ico";
    default: return "";
  }
}

std::string PictureWorkingFileName(PictureKind kind) {
  return std::string("Quorvel.tag.image.") + PictureKindExtension(kind);
}

std::string ReadPictureFile(const std::string& path, std::vector<uint8_t>& data) {
  data.clear();
  InputFile file;
  if (!file.open(path)) return "The image file can't be opened:\r\n" + path;
  if (file.size() > kPictureFileLimit) return kImageTooLargeText;
  if (file.size() == 0) return kImageEmptyText;
  data.resize(static_cast<size_t>(file.size()));
  if (!file.readAt(0, data.data(), data.size())) {
    data.clear();
    return "Can't read the image file:\r\n" + path;
  }
  return {};
}

PictureLink ClassifyPictureLink(const std::string& text, const std::string& sourceFolder) {
  if (text.size() > kPictureLinkLimit) return {PictureLinkKind::kTooLong, {}};
  size_t colon = text.find(':');
  if (colon == 0) return {PictureLinkKind::kInvalidColon, {}};
  if (colon != std::string::npos) {
    static constexpr std::array<const char*, 5> kSchemes = {"http", "https", "ftp", "gopher", "telnet"};
    std::string scheme = Lower(std::string_view(text).substr(0, colon));
    if (std::find(kSchemes.begin(), kSchemes.end(), scheme) != kSchemes.end()) return {PictureLinkKind::kUrl, text};
  }
  std::string path = text;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  // Paths here are absolute when they start at the root; a colon is an
  // ordinary character of a file name (a drive letter has no meaning).
  if (!path.empty() && path.front() == '/') return {PictureLinkKind::kAbsolutePath, path};
  std::string folder = sourceFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return {PictureLinkKind::kRelativePath, folder + path};
}

}  // namespace quorvel
