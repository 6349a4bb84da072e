// A tag edit accepted in the editor and saved after the source file was
// replaced on disk: the save says why it cannot copy the source, the document
// keeps its edit, and nothing is written under the target's name.

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/tag_editing.h"
#include "output/save.h"
#include "writer_fixture.h"
#include "tags/id3v2_editor.h"

namespace quorvel {
namespace {

using namespace writer_test;

TEST(TagSessionSave, SourceReplacedBeforeTheSave) {
  TempFolder dir;
  const fs::path source = dir / "a.mp3";
  fs::copy_file(DataPath("tagged-v23-v1.mp3"), source);
  Session session{dir};
  ASSERT_TRUE(session.load(source));
  Context& ctx = session.ctx;
  Id3v2Editor editor;
  ASSERT_TRUE(editor.Open(BeginId3v2Session(ctx)));
  Id3v2SessionReady(ctx);
  editor.EditBox(MainBox::Album, "Typed album");

  // Another program writes a new file under the name meanwhile.
  fs::remove(source);
  fs::copy_file(DataPath("cbr128-info.mp3"), source);
  bool writeTag = false;
  ASSERT_TRUE(editor.Ok({}, writeTag));
  CommitId3v2Session(ctx, writeTag);
  EndId3v2Session(ctx);
  EXPECT_TRUE(ctx.doc.unsavedChanges);

  const fs::path target = dir / "out.mp3";
  session.host.fileAnswers.push_back(target.string());
  session.host.messages.clear();
  const std::vector<uint8_t> replaced = ReadAll(source);
  ButSaveAsClick(ctx);
  ASSERT_EQ(session.host.messages.size(), 1u);
  EXPECT_EQ(session.host.messages[0].text, kDiskErrorText);
  EXPECT_FALSE(ctx.save.lastSaveSucceeded);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(ReadAll(source), replaced);
  // The edit is kept, to be saved once the source is back.
  EXPECT_TRUE(ctx.doc.unsavedChanges);
  EXPECT_EQ(editor.isOpen(), false);
  bool album = false;
  for (const Id3v2Field& f : ctx.doc.id3v2.fields) album |= f.tansi == "Typed album";
  EXPECT_TRUE(album);
}

}  // namespace
}  // namespace quorvel
