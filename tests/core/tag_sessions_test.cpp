// The tag editors' sessions in the engine: a copy that nothing reaches the
// document from until it is committed, a commit that is an edit, the end of
// every session with the document, and the questions that count them.

#include <gtest/gtest.h>

#include <string>

#include "core/document_ops.h"
#include "core/headless_host.h"
#include "core/tag_editing.h"
#include "tags/id3v1.h"
#include "tags/id3v2_editor.h"
#include "tags/id3v2_reader.h"

namespace quorvel {
namespace {

class SessionHost : public HeadlessHost {
 public:
  void closeTagWindows() override { ++closed; }
  bool applyTagEdits() override {
    ++applied;
    if (!applyAnswer) return false;
    if (ctx != nullptr) CommitId3v2Session(*ctx, true);
    return true;
  }
  int closed = 0;
  int applied = 0;
  bool applyAnswer = true;
  Context* ctx = nullptr;
};

class TagSessionsTest : public testing::Test {
 protected:
  TagSessionsTest() {
    host.ctx = &ctx;
    DocumentState& doc = ctx.doc;
    doc.loaded = true;
    doc.documentName = "/music/a.mp3";
    ctx.options.mainFlags |= kPromptSaveOnClose;
    doc.id3v2.present = true;
    doc.id3v2.tagversion = doc.id3v2.srcversion = {3, 0};
    const uint32_t title = AddId3v2Field(doc.id3v2, 44);
    doc.id3v2.fields[title].akcija = 0;
    doc.id3v2.fields[title].tansi = "Title";
    doc.id3v2.textlist.push_back(title);
  }
  // What the ID3v2 editor does on opening.
  Id3v2TagState& OpenV2() {
    Id3v2TagState& copy = BeginId3v2Session(ctx);
    EXPECT_TRUE(editor.Open(copy));
    Id3v2SessionReady(ctx);
    return copy;
  }

  SessionHost host;
  Context ctx{host};
  Id3v2Editor editor;
};

TEST_F(TagSessionsTest, EditsReachTheDocumentOnlyWhenCommitted) {
  Id3v2TagState& copy = OpenV2();
  EXPECT_FALSE(Id3v2SessionChanged(ctx));
  editor.EditBox(MainBox::Title, "New");
  EXPECT_EQ(ctx.doc.id3v2.fields[0].tansi, "Title");
  EXPECT_EQ(&EditedId3v2(ctx), &copy);
  EXPECT_TRUE(Id3v2SessionChanged(ctx));
  EXPECT_TRUE(TagEditsPending(ctx));
  EXPECT_FALSE(ctx.doc.unsavedChanges);
  EXPECT_TRUE(SaveChangesAsked(ctx));  // a held change counts

  CommitId3v2Session(ctx, true);
  EXPECT_EQ(ctx.doc.id3v2.fields[0].tansi, "New");
  EXPECT_TRUE(ctx.doc.unsavedChanges);
  EXPECT_TRUE(ctx.doc.boxes.id3v2.enabled);
  EXPECT_FALSE(TagEditsPending(ctx));
  EndId3v2Session(ctx);
  EXPECT_EQ(&EditedId3v2(ctx), &ctx.doc.id3v2);

  // A commit without a change is no edit.
  ctx.doc.unsavedChanges = false;
  OpenV2();
  CommitId3v2Session(ctx, true);
  EXPECT_FALSE(ctx.doc.unsavedChanges);
  EXPECT_FALSE(SaveChangesAsked(ctx));
}

TEST_F(TagSessionsTest, Id3v1RecordAsASession) {
  Id3v1State& copy = BeginId3v1Session(ctx);
  Id3v1SessionReady(ctx);
  StoreTextField("Typed", copy.record, Id3v1Field::kTitle, 30);
  EXPECT_TRUE(IsId3v1Empty(ctx.doc.id3v1.record));
  EXPECT_TRUE(TagEditsPending(ctx));
  CommitId3v1Session(ctx);
  EXPECT_EQ(ReadTextField(ctx.doc.id3v1.record, Id3v1Field::kTitle, 30), "Typed");
  EXPECT_TRUE(ctx.doc.boxes.id3v1.enabled);
  EXPECT_TRUE(ctx.doc.unsavedChanges);
}

// The document goes: the windows are told first, then the copies go, whatever they held.
TEST_F(TagSessionsTest, ClosingTheDocumentEndsEverySession) {
  OpenV2();
  editor.EditBox(MainBox::Title, "Held");
  BeginId3v1Session(ctx);
  ctx.doc.unsavedChanges = false;
  ctx.options.mainFlags &= static_cast<uint8_t>(~kPromptSaveOnClose);
  unloadall(ctx, true);
  EXPECT_EQ(host.closed, 1);
  EXPECT_FALSE(ctx.tagEdit.id3v2.has_value());
  EXPECT_FALSE(ctx.tagEdit.id3v1.has_value());
  EXPECT_FALSE(TagEditsPending(ctx));
}

// "Save changes?" after a held change: Yes applies it through the host before
// the save; a refused apply (the user went back to the editor) keeps all.
TEST_F(TagSessionsTest, SaveChangesYesAppliesHeldChangesFirst) {
  OpenV2();
  editor.EditBox(MainBox::Title, "Held");
  bool saved = false;
  ctx.saveAs = [&](Context& c) {
    saved = c.doc.id3v2.fields[0].tansi == "Held";
    return saved;
  };
  host.applyAnswer = false;
  host.answers = {kAnswerYes};
  EXPECT_EQ(AskSaveChanges(ctx, kSaveChangesText, kSaveChangesCaption), kUnloadDeclined);
  EXPECT_FALSE(saved);
  EXPECT_TRUE(TagEditsPending(ctx));
  host.applyAnswer = true;
  host.answers = {kAnswerYes};
  EXPECT_EQ(AskSaveChanges(ctx, kSaveChangesText, kSaveChangesCaption), kUnloadSaved);
  EXPECT_TRUE(saved);
  EXPECT_EQ(host.applied, 2);
}

// A script started by the user: one question for held changes; Yes applies,
// No drops, Escape keeps them and the script does not start.
TEST_F(TagSessionsTest, ScriptStartSettlesHeldChanges) {
  struct Case {
    int answer;
    bool starts;
    const char* title;
  };
  for (const Case& c : {Case{kAnswerYes, true, "Held"}, Case{kAnswerNo, true, "Title"},
                        Case{kAnswerEscape, false, "Title"}}) {
    SCOPED_TRACE(c.answer);
    ctx.doc.id3v2.fields[0].tansi = "Title";
    OpenV2();
    editor.EditBox(MainBox::Title, "Held");
    host.messages.clear();
    host.answers = {c.answer};
    EXPECT_EQ(SettleTagEditsForScript(ctx), c.starts);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kApplyTagEditsText);
    EXPECT_EQ(ctx.doc.id3v2.fields[0].tansi, c.title);
    EXPECT_EQ(ctx.tagEdit.id3v2.has_value(), !c.starts);
    EndTagSessions(ctx);
  }
  // Nothing held: nothing asked.
  OpenV2();
  host.messages.clear();
  EXPECT_TRUE(SettleTagEditsForScript(ctx));
  EXPECT_TRUE(host.messages.empty());
}

// The largest tags the editor takes: 65,535 fields, a 16 MB text. A copy is
// made, edited and committed whole; one field more is refused by the editor.
TEST_F(TagSessionsTest, LargestTagsGoThroughASession) {
  Id3v2TagState& tag = ctx.doc.id3v2;
  while (tag.fields.size() < kEditorMaxFields) {
    const uint32_t i = AddId3v2Field(tag, 29);
    tag.fields[i].akcija = 0;
    tag.textlist.push_back(i);
  }
  tag.fields.back().tansi.assign(16u << 20, 'x');
  Id3v2TagState& copy = OpenV2();
  editor.EditBox(MainBox::Title, "Large");
  EXPECT_EQ(copy.fields.size(), kEditorMaxFields);
  CommitId3v2Session(ctx, true);
  EXPECT_EQ(ctx.doc.id3v2.fields[0].tansi, "Large");
  EXPECT_EQ(ctx.doc.id3v2.fields.back().tansi.size(), 16u << 20);
  EndId3v2Session(ctx);

  AddId3v2Field(tag, 29);
  Id3v2Editor refused;
  EXPECT_FALSE(refused.Open(BeginId3v2Session(ctx)));
  EndId3v2Session(ctx);
}

}  // namespace
}  // namespace quorvel
