// Pictures in tags as the field viewer handles them: kinds, working files,
// reading picture files within their limit, and links.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tags/picture_content.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

TEST(PictureContent, KindsFromMimeTypesAndExtensions) {
  struct Case {
    const char* mime;
    PictureKind kind;
  } mimes[] = {
      {"image/jpeg", PictureKind::kJpg}, {"IMAGE/JPG", PictureKind::kJpg}, {"image/jfif", PictureKind::kJpg},
      {"JPG", PictureKind::kJpg},        {"PNG", PictureKind::kPng},       {"image/png", PictureKind::kPng},
      {"image/bmp", PictureKind::kBmp},  {"gif", PictureKind::kGif},       {"image/ico", PictureKind::kIco},
      {"-->", PictureKind::kLink},       {"image/webp", PictureKind::kUnknown}, {"", PictureKind::kUnknown},
      {"image/png ", PictureKind::kUnknown},
  };
  for (const auto& c : mimes) EXPECT_EQ(PictureKindFromMime(c.mime), c.kind) << c.mime;
  EXPECT_EQ(PictureKindFromExtension("/a/b.JFIF"), PictureKind::kJpg);
  EXPECT_EQ(PictureKindFromExtension("/a/b.jpeg"), PictureKind::kJpg);
  EXPECT_EQ(PictureKindFromExtension("/a.png/b"), PictureKind::kUnknown);
  EXPECT_EQ(PictureKindFromExtension("cover.Ico"), PictureKind::kIco);
  EXPECT_EQ(PictureWorkingFileName(PictureKindFromMime("PNG")), "Quorvel.tag.image.png");
  EXPECT_EQ(PictureWorkingFileName(PictureKind::kJpg), "Quorvel.tag.image.jpg");
}

TEST(PictureContent, ReadingPictureFiles) {
  std::string dir = (fs::temp_directory_path() / "quorvel-picture-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::vector<uint8_t> data;
  {
    std::ofstream(dir + "/small.png", std::ios::binary) << "\x89PNG";
    std::ofstream(dir + "/empty.png", std::ios::binary);
  }
  EXPECT_EQ(ReadPictureFile(dir + "/small.png", data), "");
  EXPECT_EQ(data, (std::vector<uint8_t>{0x89, 'P', 'N', 'G'}));
  EXPECT_EQ(ReadPictureFile(dir + "/empty.png", data), "The file is empty.");
  EXPECT_EQ(ReadPictureFile(dir + "/missing.png", data), "The image file can't be opened:\r\n" + dir + "/missing.png");
  EXPECT_EQ(ReadPictureFile(dir, data), "The image file can't be opened:\r\n" + dir);  // a folder
  // At the limit and one byte above (sparse files).
  fs::resize_file(fs::path(dir + "/small.png"), kPictureFileLimit);
  EXPECT_EQ(ReadPictureFile(dir + "/small.png", data), "");
  EXPECT_EQ(data.size(), size_t{67108864});
  fs::resize_file(fs::path(dir + "/small.png"), kPictureFileLimit + 1);
  EXPECT_EQ(ReadPictureFile(dir + "/small.png", data), "Image too large, 64 MB max please.");
  EXPECT_TRUE(data.empty());
  fs::remove_all(dir);
}

TEST(PictureContent, Links) {
  struct Case {
    std::string text;
    PictureLinkKind kind;
    const char* target;
  } cases[] = {
      {"http://example.org/a.jpg", PictureLinkKind::kUrl, "http://example.org/a.jpg"},
      {"HTTPS://example.org/a.jpg", PictureLinkKind::kUrl, "HTTPS://example.org/a.jpg"},
      {"ftp://h/a", PictureLinkKind::kUrl, "ftp://h/a"},
      {"gopher://h", PictureLinkKind::kUrl, "gopher://h"},
      {"telnet://h", PictureLinkKind::kUrl, "telnet://h"},
      {":cover.jpg", PictureLinkKind::kInvalidColon, ""},
      {"cover.jpg", PictureLinkKind::kRelativePath, "/music/album/cover.jpg"},
      {"\"my cover.jpg\"", PictureLinkKind::kRelativePath, "/music/album/my cover.jpg"},
      {"/pictures/a.png", PictureLinkKind::kAbsolutePath, "/pictures/a.png"},
      // Other schemes are never opened as URLs; they can only name a file.
      {"file:///etc/passwd", PictureLinkKind::kRelativePath, "/music/album/file:///etc/passwd"},
      {"javascript:alert(1)", PictureLinkKind::kRelativePath, "/music/album/javascript:alert(1)"},
      {"-rf", PictureLinkKind::kRelativePath, "/music/album/-rf"},
      {std::string(768, 'a'), PictureLinkKind::kRelativePath, nullptr},
      {std::string(769, 'a'), PictureLinkKind::kTooLong, ""},
  };
  for (const auto& c : cases) {
    PictureLink link = ClassifyPictureLink(c.text, "/music/album");
    EXPECT_EQ(link.kind, c.kind) << c.text;
    if (c.target != nullptr) {
      EXPECT_EQ(link.target, c.target) << c.text;
    }
  }
}

}  // namespace
}  // namespace quorvel
