#include "script/file_commands.h"

#include <array>

#include "core/document_ops.h"
#include "output/save.h"
#include "output/split.h"
#include "script/command_texts.h"
#include "script/edit_commands.h"
#include "script/reader.h"

namespace quorvel {

namespace {

void Fail(Context& ctx, std::string text) { ctx.script.errorText = std::move(text); }

void ReportCode(Context& ctx, std::span<const CodeText> table) {
  const std::string message = ctx.script.errorText;
  ctx.script.errorText = ResultCodeText(ctx, table, ctx.script.resultCode, message);
}

bool PositionInvalid(Context& ctx, int n, const char* label) {
  const std::string& p = ctx.script.statement.param[static_cast<size_t>(n)];
  double seconds = 0;
  if (!ParseTimeText(p, seconds)) return false;
  Fail(ctx, label + p);
  return true;
}

}  // namespace

void SaveAsCommand(Context& ctx) {
  ScriptStatement& st = ctx.script.statement;
  if (st.param[1].empty()) return Fail(ctx, "SAVEAS: no parameter.");
  if (RequireDocument(ctx)) return;
  const std::string target = StripFileNameQuotes(st.param[1]);
  if (NotReady(ctx)) return Fail(ctx, NotReadyText(ctx));
  ctx.script.errorText.clear();
  SaveProc(ctx, kWriteSaveAs, target);
  ReportCode(ctx, SaveAsCodeTexts());
}

void SaveCommand(Context& ctx) {
  if (NotReady(ctx)) return Fail(ctx, NotReadyText(ctx));
  if (RequireDocument(ctx)) return;
  ctx.script.errorText.clear();
  SaveProc(ctx, kWriteQuickSave);
  ReportCode(ctx, SaveCodeTexts());
}

void SaveSelectionCommand(Context& ctx) {
  const ScriptStatement& st = ctx.script.statement;
  if (RequireDocument(ctx)) return;
  if (st.parameterCount == 0 || st.parameterCount == 2)
    return Fail(ctx, "SAVESELECTION: must have 1 or 3 parameters.");
  std::string target = st.param[1];
  if (st.parameterCount >= 3) {
    PreparePositionParams(ctx, 3);
    if (PositionInvalid(ctx, 1, "1st SAVESELECTION parameter invalid:\r\n")) return;
    if (PositionInvalid(ctx, 2, "2nd SAVESELECTION parameter invalid:\r\n")) return;
    ApplyPositions(ctx);
    target = st.param[3];
  }
  if (!ctx.doc.selectionExists) return Fail(ctx, "SAVESELECTION: no multiple frames selection.");
  if (!SaveSelectionAvailable(ctx)) return Fail(ctx, "SAVESELECTION: disabled - not ready? unknown error?");
  ctx.script.errorText.clear();
  MenuSaveSelClick(ctx, target);
  ReportCode(ctx, SaveSelectionCodeTexts());
}

void SplitCommand(Context& ctx) {
  const ScriptStatement& st = ctx.script.statement;
  if (st.parameterCount < 2) return Fail(ctx, "SPLIT: at least two parameters required.");
  if (RequireDocument(ctx)) return;
  if (ctx.doc.selectionExists && st.parameterCount < 3)
    return Fail(ctx, "SPLIT: 3rd parameter missing (multiple frames selection exists).");
  if (!SplitAvailable(ctx)) return Fail(ctx, NotReadyText(ctx));
  ctx.script.errorText.clear();
  MenuSplitClick(ctx, std::array<std::string, 3>{st.param[1], st.param[2], st.param[3]});
  ReportCode(ctx, SplitCodeTexts());
}

}  // namespace quorvel
