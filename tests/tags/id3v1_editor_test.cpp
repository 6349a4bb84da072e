// The ID3v1 editor's model: what each box does to the record, the version
// switch, OK and Cancel, the field menu, the scan and a transfer into it.

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <random>
#include <string>
#include <vector>

#include "tags/id3v1.h"
#include "tags/id3v1_editor.h"
#include "tags/message_kind.h"
#include "tags/transfer.h"

namespace quorvel {
namespace {

using namespace std::string_literals;

struct Shown {
  std::string text;
  int kind;
  std::string caption;
};

// The record's bytes after "TAG", built by hand for a test.
Id3v1Tag Record(const char* title, const char* comment30, int byte122, int byte123, int genre) {
  Id3v1Tag t;
  std::memcpy(t.bytes.data(), title, std::strlen(title));
  std::memcpy(t.bytes.data() + 94, comment30, std::strlen(comment30));
  t.bytes[122] = static_cast<uint8_t>(byte122);
  t.bytes[123] = static_cast<uint8_t>(byte123);
  t.bytes[124] = static_cast<uint8_t>(genre);
  return t;
}

std::string Bytes(const Id3v1Tag& t, int offset, int width) {
  return std::string(reinterpret_cast<const char*>(t.bytes.data()) + offset, static_cast<size_t>(width));
}

class Id3v1EditorTest : public ::testing::Test {
 protected:
  Id3v1EditorTest()
      : editor(state, [this](const std::string& t, int k, const std::string& c) { shown.push_back({t, k, c}); },
               [this](const std::string& t, int k, const std::string& c) {
                 asked.push_back({t, k, c});
                 return answer;
               }) {}

  void Open(const Id3v1Tag& record, bool fileHadTag = true) {
    state.record = record;
    state.loaded = record;
    editor.Fill(fileHadTag);
  }

  Id3v1State state;
  std::vector<Shown> shown, asked;
  int answer = kAnswerYes;
  Id3v1Editor editor;
};

TEST(SplitArtistTitle, Separators) {
  struct Case {
    const char* text;
    const char* artist;
    const char* title;
  } cases[] = {
      {"Artist - Title", "Artist", "Title"},
      {"Artist-Title", "Artist", "Title"},
      {"Title", "", "Title"},
      {"ab", "", "ab"},
      {" - Title", "", "Title"},  // " - " counts at the very start
      {"Artist - ", "Artist", ""},
      {"A - B - C", "A", "B - C"},
      {"Artist -Title", "Artist", "Title"},
      {"Artist- Title", "Artist", "Title"},
      {"-Title", "", "-Title"},   // a dash at the first character is no separator
      {"Title-", "", "Title-"},   // nor at the last
      {"a -", "", "a -"},         // " -" ending at the last character
      {"x- y-z", "x", "y-z"},     // "- " before "-"
  };
  for (const auto& c : cases) {
    auto [artist, title] = SplitArtistTitle(c.text);
    EXPECT_EQ(artist, c.artist) << c.text;
    EXPECT_EQ(title, c.title) << c.text;
  }
}

TEST_F(Id3v1EditorTest, FillShowsTheRecordAndNeverChangesIt) {
  struct Case {
    const char* name;
    Id3v1Tag record;
    bool version11;
    const char* track;
    const char* comment;
    int genre;
  } cases[] = {
      {"1.1 with track 5", Record("Song", "Words", 0, 5, 17), true, "5", "Words", 17},
      {"1.0, full comment", Record("Song", "123456789012345678901234567890", '9', '0', 255), false, "",
       "123456789012345678901234567890", -1},
      // The reader turned a stray byte 122 into a space; byte 123 is no track.
      {"1.0 with stray bytes", Record("Song", "Hi", ' ', 7, 200), false, "", "Hi", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Open(c.record);
    EXPECT_EQ(editor.version11(), c.version11);
    EXPECT_EQ(editor.trackEnabled(), c.version11);
    EXPECT_EQ(editor.fields().track, c.track);
    EXPECT_EQ(editor.fields().comment, c.comment);
    EXPECT_EQ(editor.fields().genre, c.genre);
    EXPECT_EQ(editor.commentLimit(), c.version11 ? 28 : 30);
    EXPECT_EQ(state.record.bytes, c.record.bytes);
    ASSERT_TRUE(editor.Accept());
    // OK without edits keeps the record as it was read.
    EXPECT_EQ(state.record.bytes, c.record.bytes);
  }
}

TEST_F(Id3v1EditorTest, TextsAreStoredWithoutCuttingACharacter) {
  Open(Id3v1Tag{});
  const std::string e = "\xC3\xA9";  // é, two bytes
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += e;
  std::string fifteen = sixteen.substr(0, 30);
  EXPECT_EQ(editor.SetText(Id3v1EditorField::kTitle, sixteen), fifteen);
  EXPECT_EQ(Bytes(state.record, 0, 30), fifteen);
  // 1 + 15 x 2 bytes = 31: the last é goes and a zero pads the field.
  std::string mixed = "a" + fifteen;
  EXPECT_EQ(editor.SetText(Id3v1EditorField::kArtist, mixed), "a" + fifteen.substr(0, 28));
  EXPECT_EQ(Bytes(state.record, 30, 30), "a" + fifteen.substr(0, 28) + std::string(1, '\0'));
  // A four-byte character (outside the BMP) in the four-byte year.
  EXPECT_EQ(editor.SetText(Id3v1EditorField::kYear, "1\xF0\x9F\x8E\xB5"), "1");
  EXPECT_EQ(Bytes(state.record, 90, 4), std::string("1\0\0\0", 4));
  EXPECT_EQ(editor.SetText(Id3v1EditorField::kYear, "99  "), "99  ");
  EXPECT_EQ(Bytes(state.record, 90, 4), std::string("99\0\0", 4));  // trailing spaces are not stored
  // A zero character ends a text.
  EXPECT_EQ(editor.SetText(Id3v1EditorField::kAlbum, std::string("ab\0cd", 5)), "ab");
}

TEST_F(Id3v1EditorTest, TrackAndComment) {
  Open(Record("Song", "Words", 0, 5, 17));
  // A comment of 30 bytes in a 1.1 tag is cut to the box's 28.
  std::string thirty(30, 'c');
  EXPECT_EQ(editor.SetText(Id3v1EditorField::kComment, thirty), std::string(28, 'c'));
  EXPECT_EQ(Bytes(state.record, 94, 30), std::string(28, 'c') + std::string("\0\x05", 2));

  // A track of 300 is in error and stores 0 on OK.
  editor.SetText(Id3v1EditorField::kTrack, "300");
  EXPECT_TRUE(editor.trackInError());
  EXPECT_EQ(editor.trackValue(), 0);
  editor.SetText(Id3v1EditorField::kTrack, "12");
  EXPECT_FALSE(editor.trackInError());
  EXPECT_EQ(state.record.bytes[123], 12);
  editor.SetText(Id3v1EditorField::kTrack, "300");
  ASSERT_TRUE(editor.Accept());
  EXPECT_EQ(state.record.bytes[122], 0);
  EXPECT_EQ(state.record.bytes[123], 0);
  EXPECT_TRUE(shown.empty());
}

TEST_F(Id3v1EditorTest, VersionSwitches) {
  Open(Record("Song", "Words", 0, 5, 17));
  editor.SetVersion(false);
  EXPECT_EQ(editor.fields().track, "");
  EXPECT_EQ(editor.commentLimit(), 30);
  EXPECT_FALSE(IsId3v11(state.record));  // the record follows the box at once
  std::string thirty = "123456789012345678901234567890";
  editor.SetText(Id3v1EditorField::kComment, thirty);
  EXPECT_EQ(Bytes(state.record, 94, 30), thirty);

  // Back to 1.1 with the track 5 entered before: the comment is cut, once, with the message.
  editor.SetVersion(true);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Truncated the comment field to 28 bytes.");
  EXPECT_EQ(shown[0].kind, kMsgInfo);
  EXPECT_EQ(shown[0].caption, "version upgrade");
  EXPECT_EQ(editor.fields().comment, thirty.substr(0, 28));
  EXPECT_EQ(editor.fields().track, "5");
  EXPECT_EQ(Bytes(state.record, 94, 30), thirty.substr(0, 28) + std::string("\0\x05", 2));

  // OK at 1.0 clears a leftover track byte so the record does not read as 1.1.
  editor.SetVersion(false);
  ASSERT_TRUE(editor.Accept());
  EXPECT_FALSE(IsId3v11(state.record));
}

TEST_F(Id3v1EditorTest, GenreList) {
  Open(Id3v1Tag{});
  for (int i = 0; i < kGenreCount; ++i) {
    editor.SetGenre(i);
    ASSERT_EQ(state.record.bytes[124], i);
    ASSERT_EQ(editor.fields().genre, i);
  }
  editor.SetGenre(kGenreCount);  // "- EMPTY -"
  EXPECT_EQ(state.record.bytes[124], 255);
  EXPECT_EQ(editor.fields().genre, -1);
  EXPECT_FALSE(editor.RecordHoldsSomething());
}

TEST_F(Id3v1EditorTest, NonAsciiTextsAskBeforeOk) {
  Open(Record("Song", "", 0, 0, 255));
  editor.SetText(Id3v1EditorField::kTitle, "Caf\xC3\xA9");
  answer = kAnswerNo;
  EXPECT_FALSE(editor.Accept());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text,
            "There are non-English-alphabet letters in the text fields.\r\nID3v1 doesn't support unicode. You may "
            "still use it in Quorvel,but such information may be unreadable by other applications.\r\n\r\nPress "
            "OK to save as UTF-8 or Cancel to go back.");
  EXPECT_EQ(asked[0].caption, "Warning");
  EXPECT_EQ(asked[0].kind & kMsgOkCancel, kMsgOkCancel);
  answer = kAnswerYes;
  EXPECT_TRUE(editor.Accept());
  EXPECT_EQ(Bytes(state.record, 0, 6), "Caf\xC3\xA9\0"s);

  // A tag that had such letters when it was opened is not asked about again.
  asked.clear();
  Open(state.record);
  EXPECT_TRUE(editor.nonAsciiAtLoad());
  EXPECT_TRUE(editor.Accept());
  EXPECT_TRUE(asked.empty());
}

TEST_F(Id3v1EditorTest, CancelAfterAnyEditsRestoresTheRecord) {
  std::mt19937 rng(20261210);
  const std::vector<std::string> texts = {"", "a", "Caf\xC3\xA9", std::string(40, 'x'), "300", "7", " 12 ",
                                          "\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5", "A - B", "2004-05-01"};
  const Id3v1Tag starts[] = {Record("Song", "Words", 0, 5, 17), Record("T", "Hi", ' ', 7, 200), Id3v1Tag{},
                             Record("\xE9t\xE9", "123456789012345678901234567890", '9', '0', 3)};
  for (int round = 0; round < 200; ++round) {
    const Id3v1Tag& start = starts[round % 4];
    Open(start);
    for (int step = 0; step < 12; ++step) {
      switch (rng() % 6) {
        case 0: editor.SetText(static_cast<Id3v1EditorField>(rng() % 6), texts[rng() % texts.size()]); break;
        case 1: editor.SetGenre(static_cast<int>(rng() % 160)); break;
        case 2: editor.SetVersion(rng() % 2 == 0); break;
        case 3: editor.Scan("/m/Band - Album/Artist - Title.mp3", rng() % 2, rng() % 2); break;
        case 4: editor.ReloadOriginal(static_cast<Id3v1EditorField>(rng() % 7)); break;
        case 5: editor.SetOptional(rng() % 2 == 0); break;
      }
    }
    editor.Cancel();
    ASSERT_EQ(state.record.bytes, start.bytes) << "round " << round;
  }
}

TEST_F(Id3v1EditorTest, ScanFillsFromTheFileAndFolderNames) {
  struct Case {
    const char* path;
    bool album, split;
    const char* artist;
    const char* title;
    const char* albumText;  // nullptr: the album box is not touched
  } cases[] = {
      {"/music/Band - Album/Artist - Title.mp3", true, true, "Artist", "Title", "Album"},
      {"/music/Band - Album/Artist - Title.mp3", true, false, "Artist", "Title", "Band - Album"},
      {"/music/Band - Album/Artist-Title.MP3", false, false, "Artist", "Title", nullptr},
      {"/music/Title.mp3", false, false, "", "Title", nullptr},
      {"/music/Song.ogg", false, false, "", "Song.ogg", nullptr},
      {"Artist - Title.mp3", true, true, "Artist", "Title", ""},  // no folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Open(Record("", "", 0, 0, 255));
    editor.SetText(Id3v1EditorField::kAlbum, "kept");
    uint32_t filled = editor.Scan(c.path, c.album, c.split);
    EXPECT_EQ(editor.fields().artist, c.artist);
    EXPECT_EQ(editor.fields().title, c.title);
    EXPECT_EQ(Bytes(state.record, 0, static_cast<int>(std::strlen(c.title))), c.title);
    EXPECT_EQ(editor.fields().album, c.albumText ? c.albumText : "kept");
    EXPECT_EQ((filled & Id3v1FieldBit(Id3v1EditorField::kAlbum)) != 0, c.albumText != nullptr);
  }
}

TEST_F(Id3v1EditorTest, FieldMenuOriginalContents) {
  const std::string thirty = "123456789012345678901234567890";
  Open(Record("Song", thirty.c_str(), '9', '0', 8));  // a 1.0 tag with a full comment
  editor.ViewOriginal(Id3v1EditorField::kTrack);
  editor.ViewOriginal(Id3v1EditorField::kGenre);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "No track in id3v1.0 original tag.");
  EXPECT_EQ(shown[0].caption, "empty field");
  EXPECT_EQ(shown[1].text, "Jazz");
  EXPECT_EQ(shown[1].caption, "Genre");

  EXPECT_FALSE(editor.CanReloadOriginal(Id3v1EditorField::kTitle));
  editor.SetText(Id3v1EditorField::kTitle, "Other");
  ASSERT_TRUE(editor.CanReloadOriginal(Id3v1EditorField::kTitle));
  editor.ReloadOriginal(Id3v1EditorField::kTitle);
  EXPECT_EQ(editor.fields().title, "Song");

  // At 1.1 the original 30-byte comment asks whether to go back to 1.0.
  for (int reply : {kAnswerYes, kAnswerNo}) {
    SCOPED_TRACE(reply);
    shown.clear();
    asked.clear();
    Open(state.loaded);
    editor.SetText(Id3v1EditorField::kComment, "x");
    editor.SetVersion(true);
    editor.SetText(Id3v1EditorField::kTrack, "4");
    answer = reply;
    ASSERT_TRUE(editor.CanReloadOriginal(Id3v1EditorField::kComment));
    editor.ReloadOriginal(Id3v1EditorField::kComment);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "warning");
    EXPECT_EQ(asked[0].kind & kMsgFocusNo, kMsgFocusNo);
    if (reply == kAnswerYes) {
      EXPECT_FALSE(editor.version11());
      EXPECT_EQ(editor.fields().comment, thirty);
      EXPECT_EQ(Bytes(state.record, 94, 30), thirty);
    } else {
      EXPECT_TRUE(editor.version11());
      EXPECT_EQ(editor.fields().comment, thirty.substr(0, 28));
      EXPECT_EQ(Bytes(state.record, 94, 30), thirty.substr(0, 28) + std::string("\0\x04", 2));
    }
  }

  // Without a tag in the file there is no original to show.
  shown.clear();
  Open(Id3v1Tag{}, false);
  editor.ViewOriginal(Id3v1EditorField::kTitle);
  EXPECT_TRUE(shown.empty());
  EXPECT_FALSE(editor.CanReloadOriginal(Id3v1EditorField::kTitle));
}

TEST_F(Id3v1EditorTest, TransferFromId3v2FillsTheEditor) {
  const std::string thirty = "123456789012345678901234567890";
  Open(Record("Old", thirty.c_str(), '9', '0', 255));
  Id3v2EditorFields v2;
  v2.title = "A title that is longer than thirty characters";
  v2.track = "7";
  v2.genre = "rock";
  v2.year = "2004-05-01";
  // The comment stays; the track switches the editor to 1.1, which cuts it.
  auto result = TransferV2ToV1(v2, editor.fields(), (kTransferDefault & ~kTransferComment) | kTransferNoDialog);
  uint32_t filled = editor.ApplyTransfer(result);
  EXPECT_TRUE(editor.version11());
  EXPECT_EQ(editor.fields().track, "7");
  EXPECT_EQ(state.record.bytes[122], 0);
  EXPECT_EQ(state.record.bytes[123], 7);
  EXPECT_EQ(state.record.bytes[124], 17);
  EXPECT_EQ(Bytes(state.record, 90, 4), "2004");
  EXPECT_EQ(Bytes(state.record, 0, 30), "A title that is longer than th");
  EXPECT_EQ(Bytes(state.record, 94, 28), thirty.substr(0, 28));
  int truncations = 0;
  for (const auto& m : shown) truncations += m.text == "Truncated the comment field to 28 bytes.";
  EXPECT_EQ(truncations, 1);
  EXPECT_NE(filled & Id3v1FieldBit(Id3v1EditorField::kTrack), 0u);
  EXPECT_NE(filled & Id3v1FieldBit(Id3v1EditorField::kGenre), 0u);
}

}  // namespace
}  // namespace quorvel
