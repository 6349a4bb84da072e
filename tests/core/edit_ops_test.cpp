#include "core/edit_ops.h"

#include <gtest/gtest.h>

#include "core/document_ops.h"
#include "core/headless_host.h"
#include "core/messages.h"
#include "core/edit_fixture.h"

namespace quorvel {
namespace {

using testing::LoadUniform;
using testing::Range;
using testing::Refs;
using testing::Select;

struct EditOps : ::testing::Test {
  HeadlessHost host;
  Context ctx{host};
  DocumentState& doc = ctx.doc;

  void Script() { ctx.script.active = true; }
  void ExpectOneMessage(const std::string& text, int kind, const std::string& caption) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, text);
    EXPECT_EQ(host.messages[0].kind, kind);
    EXPECT_EQ(host.messages[0].caption, caption);
  }
};

std::vector<int32_t> Concat(std::vector<int32_t> a, const std::vector<int32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(EditOps, DeleteRemovesTheSelectionForwardOrBackward) {
  for (auto [cursor, end] : {std::pair{2, 5}, std::pair{5, 2}}) {
    LoadUniform(ctx, 10);
    Select(doc, cursor, end);
    DelButClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 0);
    EXPECT_EQ(doc.editCount, 7);
    EXPECT_EQ(Refs(doc), (std::vector<int32_t>{0, 1, 5, 6, 7, 8, 9}));
    EXPECT_EQ(doc.cursor, 2);
    EXPECT_EQ(doc.selectionEnd, 2);
    EXPECT_FALSE(doc.selectionExists);
    EXPECT_TRUE(doc.undoAvailable);
    EXPECT_EQ(doc.modifiedLevel, 1);
    EXPECT_TRUE(doc.unsavedChanges);
    EXPECT_EQ(doc.editStats.freqCount[0], 7);
  }
}

TEST_F(EditOps, UndoOfDeleteBringsBackFramesSelectionAndView) {
  LoadUniform(ctx, 300);
  doc.viewStart = 150;
  Select(doc, 200, 203);
  doc.gainLeft[201] = 7;
  DelButClick(ctx);
  doc.viewStart = 0;  // the user scrolled away
  UndobutClick(ctx);
  EXPECT_EQ(doc.editCount, 300);
  EXPECT_EQ(Refs(doc), Range(0, 300));
  EXPECT_EQ(doc.gainLeft[201], 7);
  EXPECT_EQ(doc.cursor, 200);
  EXPECT_EQ(doc.selectionEnd, 203);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_EQ(doc.viewStart, 150);
  EXPECT_FALSE(doc.undoAvailable);
  EXPECT_EQ(doc.modifiedLevel, 0);
  EXPECT_TRUE(doc.unsavedChanges);  // undo does not make the file saved
  // Single level: a second undo does nothing.
  UndobutClick(ctx);
  EXPECT_EQ(doc.editCount, 300);
}

TEST_F(EditOps, DeleteKeepsTheViewWhereItWasWithinTheNewLimit) {
  LoadUniform(ctx, 200);
  doc.viewStart = 100;
  Select(doc, 10, 150);
  DelButClick(ctx);
  EXPECT_EQ(doc.editCount, 60);
  EXPECT_EQ(doc.viewStartMax, 0);
  EXPECT_EQ(doc.viewStart, 0);

  LoadUniform(ctx, 400);
  doc.viewStart = 100;
  Select(doc, 10, 20);
  DelButClick(ctx);
  EXPECT_EQ(doc.viewStart, 100);
  EXPECT_EQ(doc.viewStartMax, 390 - 84);
}

struct DeleteRefusal {
  const char* name;
  int frames;
  int cursor;
  int selectionEnd;
  bool selected;
  int code;
  const char* message;  // interactive; nullptr: none
};

TEST_F(EditOps, DeleteRefusalsLeaveEverythingAlone) {
  const DeleteRefusal cases[] = {
      {"every frame", 10, 0, 10, true, 2, "You must leave at least one frame."},
      {"every frame backwards", 10, 10, 0, true, 2, "You must leave at least one frame."},
      {"nothing selected", 10, 4, 4, false, 3, "No frames selected."},
      {"empty edit list", 0, 0, 0, false, 1, nullptr},
  };
  for (const auto& c : cases) {
    for (bool script : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (script ? " (script)" : ""));
      host.messages.clear();
      LoadUniform(ctx, c.frames);
      // A previous edit whose snapshot must survive the refusal.
      if (c.frames > 0) {
        Select(doc, 1, 2);
        doc.gainLeft[1] = 3;
        TakeUndoSnapshot(ctx);
      }
      doc.cursor = c.cursor;
      doc.selectionEnd = c.selectionEnd;
      doc.selectionExists = c.selected;
      ctx.script.active = script;
      ctx.script.resultCode = 77;
      DelButClick(ctx);
      EXPECT_EQ(doc.editCount, c.frames);
      EXPECT_EQ(doc.modifiedLevel, 0);
      if (c.frames > 0) {
        EXPECT_EQ(doc.undo.cursor, 1);
      }
      if (!script && !c.selected) {
        // The command is disabled without a selection: a click does nothing at all.
        EXPECT_EQ(ctx.script.resultCode, 77);
        EXPECT_TRUE(host.messages.empty());
        continue;
      }
      EXPECT_EQ(ctx.script.resultCode, c.code);
      if (!script && c.message) {
        ExpectOneMessage(c.message, 2, "delete");
      } else {
        EXPECT_TRUE(host.messages.empty());
      }
    }
    ctx.script.active = false;
  }
}

TEST_F(EditOps, CommandsAreNotReadyWhileBusyOrADialogIsOpen) {
  bool DocumentState::*flags[] = {&DocumentState::busy, &DocumentState::volumeDialogOpen,
                                  &DocumentState::fadeDialogOpen, &DocumentState::silenceDialogOpen,
                                  &DocumentState::splitDialogOpen, &DocumentState::playerHandOver};
  void (*commands[])(Context&) = {[](Context& c) { DelButClick(c); }, CutButClick,   CopybutClick,
                                  PastebutClick,                      TrimButClick,  SelAllButClick,
                                  UnselbutClick};
  for (auto flag : flags) {
    for (auto command : commands) {
      LoadUniform(ctx, 10);
      Select(doc, 2, 4);
      CopyToClipboard(ctx, 0, 1);
      Script();
      doc.*flag = true;
      command(ctx);
      EXPECT_EQ(ctx.script.resultCode, 255);
      EXPECT_EQ(doc.editCount, 10);
      EXPECT_TRUE(doc.selectionExists);
      doc.*flag = false;
    }
  }
}

TEST_F(EditOps, PasteOverEverySelectedFrameReplacesThemAll) {
  LoadUniform(ctx, 10);
  Select(doc, 3, 5);
  CopybutClick(ctx);
  EXPECT_TRUE(doc.pasteAvailable);
  EXPECT_EQ(doc.modifiedLevel, 0);
  EXPECT_FALSE(doc.undoAvailable);
  Select(doc, 0, 10);
  PastebutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(Refs(doc), (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(doc.cursor, 0);
  EXPECT_EQ(doc.selectionEnd, 2);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_TRUE(host.messages.empty());
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 10));
  EXPECT_EQ(doc.cursor, 0);
  EXPECT_EQ(doc.selectionEnd, 10);
}

TEST_F(EditOps, CutAndPasteMovesFramesWithTheirGains) {
  LoadUniform(ctx, 10);
  doc.gainLeft[2] = 5;
  doc.gainRight[3] = -4;
  Select(doc, 2, 4);
  CutButClick(ctx);
  EXPECT_EQ(Refs(doc), (std::vector<int32_t>{0, 1, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(doc.clip.clipCount, 2);
  doc.cursor = doc.selectionEnd = 6;
  PastebutClick(ctx);
  EXPECT_EQ(Refs(doc), (std::vector<int32_t>{0, 1, 4, 5, 6, 7, 2, 3, 8, 9}));
  EXPECT_EQ(doc.gainLeft[6], 5);
  EXPECT_EQ(doc.gainRight[7], -4);
  EXPECT_EQ(doc.cursor, 6);
  EXPECT_EQ(doc.selectionEnd, 8);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_EQ(doc.modifiedLevel, 2);
  // Pasting again inserts another copy: the clipboard keeps its content.
  doc.cursor = 0;
  SetSelectionExists(doc, false);
  PastebutClick(ctx);
  EXPECT_EQ(doc.editCount, 12);
  EXPECT_EQ(doc.ref[0], 2);
}

TEST_F(EditOps, UndoOfCutLeavesTheFramesInTheClipboard) {
  LoadUniform(ctx, 10);
  Select(doc, 7, 9);
  CutButClick(ctx);
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 10));
  EXPECT_EQ(doc.clip.clipCount, 2);
  EXPECT_EQ(doc.clip.ref, (LargeVector<int32_t>{7, 8}));
  EXPECT_TRUE(doc.pasteAvailable);
}

TEST_F(EditOps, CopyResultCodesInAScript) {
  Script();
  LoadUniform(ctx, 0);
  CopybutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 254);

  LoadUniform(ctx, 5);
  CopybutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 1);
  EXPECT_EQ(ctx.script.errorText, "You must select some frames first.");
  EXPECT_FALSE(doc.pasteAvailable);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditOps, PasteWithAnEmptyClipboardChangesNothing) {
  Script();
  LoadUniform(ctx, 5);
  PastebutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 11);
  EXPECT_EQ(doc.editCount, 5);
  EXPECT_FALSE(doc.undo.taken);
  // Without a script the disabled command does nothing at all.
  ctx.script.active = false;
  ctx.script.resultCode = 0;
  PastebutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.modifiedLevel, 0);
}

TEST_F(EditOps, TrimKeepsTheSelectionOnly) {
  struct Case {
    int cursor, end;
    std::vector<int32_t> refs;
  } cases[] = {{3, 7, {3, 4, 5, 6}}, {7, 3, {3, 4, 5, 6}}, {9, 10, {9}}, {0, 1, {0}}};
  for (const auto& c : cases) {
    LoadUniform(ctx, 10);
    Select(doc, c.cursor, c.end);
    EXPECT_TRUE(TrimEnabled(ctx));
    TrimButClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 0);
    EXPECT_EQ(Refs(doc), c.refs);
    EXPECT_EQ(doc.cursor, 0);
    EXPECT_EQ(doc.selectionEnd, doc.editCount);
    EXPECT_TRUE(doc.selectionExists);
    EXPECT_FALSE(TrimEnabled(ctx));
    EXPECT_EQ(doc.modifiedLevel, 1);
    UndobutClick(ctx);
    EXPECT_EQ(Refs(doc), Range(0, 10));
  }
}

TEST_F(EditOps, TrimRefusals) {
  for (bool script : {false, true}) {
    host.messages.clear();
    ctx.script.active = false;
    LoadUniform(ctx, 10);
    Select(doc, 2, 3);
    DelButClick(ctx);  // leaves a snapshot to protect
    ctx.script.active = script;
    Select(doc, 0, 9);
    TrimButClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 2);
    EXPECT_EQ(doc.editCount, 9);
    EXPECT_EQ(doc.undo.editCount, 10);  // the earlier snapshot is intact
    EXPECT_EQ(doc.undo.cursor, 2);
    if (!script) {
      ExpectOneMessage("There must be frames outside the selection.", 258, "trim");
    }

    host.messages.clear();
    SetSelectionExists(doc, false);
    TrimButClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 1);
    if (!script) {
      ExpectOneMessage("You must select multiple frames.", 258, "trim");
    } else {
      EXPECT_TRUE(host.messages.empty());
    }
  }
}

TEST_F(EditOps, SelectAllAndUnselect) {
  LoadUniform(ctx, 6);
  SelAllButClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.cursor, 0);
  EXPECT_EQ(doc.selectionEnd, 6);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_FALSE(doc.undo.taken);
  EXPECT_EQ(doc.modifiedLevel, 0);

  doc.cursor = 4;
  doc.selectionEnd = 1;
  ctx.script.resultCode = 42;
  UnselbutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 42);  // success leaves the code alone
  EXPECT_FALSE(doc.selectionExists);
  EXPECT_EQ(doc.selectionEnd, 4);
  UnselbutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 1);

  LoadUniform(ctx, 0);
  SelAllButClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 1);
  EXPECT_FALSE(doc.selectionExists);
}

TEST_F(EditOps, ModificationLevelAfterUndo) {
  LoadUniform(ctx, 10);
  Select(doc, 1, 2);
  DelButClick(ctx);
  Select(doc, 1, 2);
  DelButClick(ctx);
  EXPECT_EQ(doc.modifiedLevel, 2);
  UndobutClick(ctx);
  EXPECT_EQ(doc.modifiedLevel, 2);
  EXPECT_EQ(doc.editCount, 9);
}

TEST_F(EditOps, UndoIsIgnoredWhileAScriptRunsOrNotReady) {
  LoadUniform(ctx, 10);
  Select(doc, 1, 2);
  DelButClick(ctx);
  Script();
  UndobutClick(ctx);
  EXPECT_EQ(doc.editCount, 9);
  ctx.script.active = false;
  doc.busy = true;
  UndobutClick(ctx);
  EXPECT_EQ(doc.editCount, 9);
  doc.busy = false;
  UndobutClick(ctx);
  EXPECT_EQ(doc.editCount, 10);
}

TEST_F(EditOps, ScriptedDeleteAndCutShowNoMessages) {
  Script();
  LoadUniform(ctx, 10);
  Select(doc, 8, 10);
  CutButClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.editCount, 8);
  EXPECT_EQ(doc.clip.ref, (LargeVector<int32_t>{8, 9}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditOps, AFailedSnapshotLeavesUndoDisabled) {
  LoadUniform(ctx, 10);
  doc.editCount = -1;
  TakeUndoSnapshot(ctx);
  ExpectOneMessage("Error preparing undo!\r\n- last operation can't be undone -", 2, "warning");
  EXPECT_TRUE(doc.undoUnavailable);
  MarkEdited(ctx);
  EXPECT_FALSE(doc.undoAvailable);
  EXPECT_EQ(doc.modifiedLevel, 1);
  // The next good snapshot makes undo possible again.
  LoadUniform(ctx, 10);
  TakeUndoSnapshot(ctx);
  EXPECT_FALSE(doc.undoUnavailable);
  MarkEdited(ctx);
  EXPECT_TRUE(doc.undoAvailable);
}

TEST_F(EditOps, InsertClipboardAtShiftsTheTail) {
  LoadUniform(ctx, 5);
  CopyToClipboard(ctx, 4, 2);  // bounds in either order
  EXPECT_EQ(doc.clip.ref, (LargeVector<int32_t>{2, 3}));
  TakeUndoSnapshot(ctx);
  ASSERT_TRUE(InsertClipboardAt(ctx, 0));
  EXPECT_EQ(Refs(doc), Concat({2, 3}, Range(0, 5)));
  EXPECT_EQ(doc.editCount, 7);
  EXPECT_EQ(doc.gainLeft.size(), 7u);
  EXPECT_EQ(doc.editStats.freqCount[0], 7);
}

TEST_F(EditOps, ABrokenClipboardIsReportedAndUndone) {
  LoadUniform(ctx, 5);
  Select(doc, 1, 3);
  CopybutClick(ctx);
  doc.clip.gainRight.pop_back();  // arrays that disagree cannot be pasted
  doc.cursor = 4;
  SetSelectionExists(doc, false);
  PastebutClick(ctx);
  ExpectOneMessage(
      "Unexpected error reading from local clipboard memory!\r\n- undo will be performed now, if possible -", 2,
      "warning");
  EXPECT_EQ(Refs(doc), Range(0, 5));
  EXPECT_EQ(doc.cursor, 4);
  EXPECT_FALSE(doc.undoAvailable);
  EXPECT_EQ(doc.modifiedLevel, 0);
}

TEST_F(EditOps, MarkEditedCountsToTwo) {
  LoadUniform(ctx, 3);
  for (int expected : {1, 2, 2}) {
    MarkEdited(ctx);
    EXPECT_EQ(doc.modifiedLevel, expected);
  }
  EXPECT_TRUE(doc.unsavedChanges);
}

TEST_F(EditOps, WarnUnlessScriptIsSilentInScripts) {
  WarnUnlessScript(ctx, "x");
  Script();
  WarnUnlessScript(ctx, "y");
  ExpectOneMessage("x", 2, "warning");
}

}  // namespace
}  // namespace quorvel
