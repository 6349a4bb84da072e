#pragma once
// What a script statement reports for the result code its operation left: one
// small table per command. A code that a table does not name falls to the
// table's "any other code" row, or is success when there is none.

#include <cstdint>
#include <span>
#include <string>

namespace quorvel {

struct Context;

enum class CodeTextRule : uint8_t {
  kSuccess,        // nothing is reported
  kFixed,          // the row's text
  kNotReady,       // NotReadyText of the command word
  kWithMessage,    // the row's text followed by the operation's own message
};

// code -1 matches every code that no other row names.
struct CodeText {
  int code;
  CodeTextRule rule;
  const char* text;
};

constexpr int kAnyOtherCode = -1;

// The statement's error text for an operation's result code; empty for success.
// The not-ready text names the statement's command word; message is the
// operation's own text.
std::string ResultCodeText(const Context& ctx, std::span<const CodeText> table, uint8_t code,
                           const std::string& message);

// The tables of the commands whose operation answers with a result code.
std::span<const CodeText> TrimCodeTexts();
std::span<const CodeText> DeleteCodeTexts();
std::span<const CodeText> BaseDeleteCodeTexts();
std::span<const CodeText> CutCodeTexts();
std::span<const CodeText> CopyCodeTexts();
std::span<const CodeText> PasteCodeTexts();
std::span<const CodeText> SelectAllCodeTexts();
std::span<const CodeText> UnselectCodeTexts();
std::span<const CodeText> FadeCodeTexts(bool fadeIn);
std::span<const CodeText> VolumeCodeTexts();
std::span<const CodeText> SilenceCodeTexts();
std::span<const CodeText> InsertCodeTexts();
std::span<const CodeText> LoadCodeTexts();
std::span<const CodeText> SaveAsCodeTexts();
std::span<const CodeText> SaveCodeTexts();
std::span<const CodeText> SaveSelectionCodeTexts();
std::span<const CodeText> SplitCodeTexts();
std::span<const CodeText> ReloadCodeTexts();
std::span<const CodeText> PlayInputCodeTexts();
std::span<const CodeText> PlayOutputCodeTexts();
std::span<const CodeText> PlayPreviewCodeTexts();
std::span<const CodeText> PlaySelectionCodeTexts();

}  // namespace quorvel
