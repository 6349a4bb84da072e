// The path helpers every layer shares: normal forms, "same file", folders and
// the recent lists, on names with "..", trailing "/", symbolic links and bytes
// that are not UTF-8.

#include "core/file_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

TEST(FilePaths, AbsoluteNormalForms) {
  struct Case {
    const char* path;
    const char* normal;
  };
  const Case cases[] = {
      {"/a/b/../c.mp3", "/a/c.mp3"},
      {"/a/./b//c.mp3", "/a/b/c.mp3"},
      {"/a/b/", "/a/b"},
      {"/a/b///", "/a/b"},
      {"/", "/"},
      {"/..", "/"},
      {"/../x.mp3", "/x.mp3"},
      {"/a/../../x.mp3", "/x.mp3"},
      {"/m\xFF\xFEsic/a\x80.mp3", "/m\xFF\xFEsic/a\x80.mp3"},  // bytes kept as they are
      {"/m\xC3\xBCsic/../b.mp3", "/b.mp3"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(AbsoluteNormalPath(c.path), c.normal) << c.path;
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(AbsoluteNormalPath("x/../y.mp3"), cwd + "/y.mp3");
}

TEST(FilePaths, FolderAndName) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"/a/b.mp3", "/a", "b.mp3"}, {"/b.mp3", "/", "b.mp3"},         {"b.mp3", "", "b.mp3"},
      {"/a/b/", "/a/b", ""},       {"/\xFF/\xFE.mp3", "/\xFF", "\xFE.mp3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
  }
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
}

struct FilePathsOnDisk : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quorvel-paths-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "sub" / "song.mp3") << "x";
    std::ofstream(dir / "sub" / "other.mp3") << "y";
    std::ofstream(dir / "sub" / "\xFF\xFE.mp3") << "z";
    fs::create_symlink(dir / "sub" / "song.mp3", dir / "link.mp3");
    fs::create_directory_symlink(dir / "sub", dir / "sublink");
    fs::create_hard_link(dir / "sub" / "song.mp3", dir / "hard.mp3");
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string at(const std::string& rel) const { return (dir / rel).string(); }
};

TEST_F(FilePathsOnDisk, SameFileTable) {
  struct Case {
    std::string a;
    std::string b;
    bool same;
  };
  const Case cases[] = {
      {at("sub/song.mp3"), at("sub/../sub/song.mp3"), true},
      {at("sub/song.mp3"), at("sub/./song.mp3"), true},
      {at("sub"), at("sub/"), true},
      {at("sub/song.mp3"), at("link.mp3"), true},           // symbolic link
      {at("sub/song.mp3"), at("sublink/song.mp3"), true},   // folder reached through a link
      {at("sub/song.mp3"), at("hard.mp3"), true},           // hard link
      {at("sub/song.mp3"), at("sub/other.mp3"), false},
      {at("sub/song.mp3"), at("sub/SONG.mp3"), false},      // names are case-sensitive
      {at("sub/\xFF\xFE.mp3"), at("sub/../sub/\xFF\xFE.mp3"), true},
      {at("sub/\xFF\xFE.mp3"), at("sub/\xFF.mp3"), false},
      {at("sub/missing.mp3"), at("sub/x/../missing.mp3"), true},  // same name, neither exists
      {at("sub/missing.mp3"), at("sub/song.mp3"), false},
      {"", at("sub/song.mp3"), false},
  };
  for (const Case& c : cases) EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.a << " | " << c.b;
  EXPECT_TRUE(IsFileInFolder(at("sub/song.mp3"), at("sublink")));
  EXPECT_TRUE(IsFileInFolder(at("sub/song.mp3"), at("sub/")));
  EXPECT_FALSE(IsFileInFolder(at("sub/song.mp3"), dir.string()));
}

TEST_F(FilePathsOnDisk, ExistingFolderCutsBackToOneThatExists) {
  EXPECT_EQ(ExistingFolder(at("sub")), at("sub"));
  EXPECT_EQ(ExistingFolder(at("sub/gone/deeper")), at("sub"));
  EXPECT_EQ(ExistingFolder(at("sublink/gone")), at("sublink"));
  EXPECT_EQ(ExistingFolder("/no-such-quorvel-folder/x"), "/");
  EXPECT_EQ(ExistingFolder("nowhere"), "nowhere");
  EXPECT_EQ(ExistingFolder(""), "");
}

TEST(RecentList, MoveToTop) {
  RecentList list = {"a", "b", "c", "d", "e"};
  MoveToTopOfRecent(list, "c");
  EXPECT_EQ(list, (RecentList{"c", "a", "b", "d", "e"}));
  MoveToTopOfRecent(list, "c");
  EXPECT_EQ(list, (RecentList{"c", "a", "b", "d", "e"}));
  MoveToTopOfRecent(list, "f");
  EXPECT_EQ(list, (RecentList{"f", "c", "a", "b", "d"}));
  MoveToTopOfRecent(list, "d");
  EXPECT_EQ(list, (RecentList{"d", "f", "c", "a", "b"}));
  MoveToTopOfRecent(list, "/m\xFF.mp3");
  EXPECT_EQ(list[0], "/m\xFF.mp3");
  EXPECT_EQ(list[4], "a");
  RecentList empty{};
  MoveToTopOfRecent(empty, "x");
  EXPECT_EQ(empty, (RecentList{"x", "", "", "", ""}));
}

}  // namespace
}  // namespace quorvel
