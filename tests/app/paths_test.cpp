#include "app/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::TempFolder;
using testing::WriteBytes;

TEST(Paths, AbsoluteNormalPath) {
  const std::string cwd = std::filesystem::current_path().string();
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"/a/b/../c/./d.ini", "/a/c/d.ini"},
      {"/a//b/", "/a/b"},
      {"/", "/"},
      {"/..", "/"},
      {"/../x", "/x"},
      {"rel/f.mp3", cwd + "/rel/f.mp3"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(AbsoluteNormalPath(c.in), c.out) << c.in;
}

TEST(Paths, FolderAndName) {
  EXPECT_EQ(FolderOf("/a/b.mp3"), "/a");
  EXPECT_EQ(FolderOf("/b.mp3"), "/");
  EXPECT_EQ(FolderOf("b.mp3"), "");
  EXPECT_EQ(FileNameOf("/a/b.mp3"), "b.mp3");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

TEST(Paths, SameFileUnderOtherNames) {
  TempFolder dir;
  WriteBytes(dir / "f.mp3", {1});
  WriteBytes(dir / "g.mp3", {1});
  ASSERT_EQ(link((dir / "f.mp3").c_str(), (dir / "hard.mp3").c_str()), 0);
  ASSERT_EQ(symlink((dir / "f.mp3").c_str(), (dir / "soft.mp3").c_str()), 0);
  EXPECT_TRUE(SameFile(dir / "f.mp3", dir.path() + "/./x/../f.mp3"));
  EXPECT_TRUE(SameFile(dir / "f.mp3", dir / "hard.mp3"));
  EXPECT_TRUE(SameFile(dir / "soft.mp3", dir / "f.mp3"));
  EXPECT_FALSE(SameFile(dir / "f.mp3", dir / "g.mp3"));
  EXPECT_FALSE(SameFile(dir / "F.mp3", dir / "f.mp3"));  // case matters on Linux
  EXPECT_FALSE(SameFile(dir / "new.mp3", dir / "new2.mp3"));
  EXPECT_TRUE(SameFile(dir / "new.mp3", dir / "sub/../new.mp3"));  // same name, neither exists
  EXPECT_FALSE(SameFile("", ""));
}

TEST(Paths, FileInFolder) {
  TempFolder dir;
  std::filesystem::create_directories(dir / "s/sub");
  ASSERT_EQ(symlink((dir / "s").c_str(), (dir / "alias").c_str()), 0);
  EXPECT_TRUE(IsFileInFolder(dir / "s/a.ini", dir / "s/"));
  EXPECT_TRUE(IsFileInFolder(dir / "alias/a.ini", dir / "s/"));
  EXPECT_TRUE(IsFileInFolder(dir / "s/sub/../a.ini", dir / "s"));
  EXPECT_FALSE(IsFileInFolder(dir / "s/sub/a.ini", dir / "s/"));
  EXPECT_FALSE(IsFileInFolder(dir / "a.ini", dir / "s/"));
  EXPECT_FALSE(IsFileInFolder(dir / "s/a.ini", ""));
}

TEST(Paths, HomeFolder) {
  {
    EnvGuard home("HOME", std::string("/home/someone/"));
    EXPECT_EQ(HomeFolder(), "/home/someone");
  }
  {
    EnvGuard home("HOME", std::string("not/absolute"));
    EXPECT_EQ(HomeFolder().front(), '/');
  }
  std::string app = ApplicationFolder();
  ASSERT_FALSE(app.empty());
  EXPECT_EQ(app.back(), '/');
}

}  // namespace
}  // namespace quorvel
