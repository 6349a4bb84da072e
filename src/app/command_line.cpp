#include "app/command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/analysis.h"
#include "core/context.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "core/options.h"
#include "app/about_info.h"
#include "app/paths.h"
#include "app/player.h"
#include "app/startup.h"

namespace quorvel {

namespace {

constexpr const char* kUsageText =
    "usage: quorvel [FILE]\n"
    "       quorvel --script SCRIPT | -s SCRIPT | /SCRIPT\n"
    "       quorvel --info FILE...\n"
    "       quorvel --help | --version\n";

constexpr const char* kHelpText =
    "Quorvel: frame-level MP3 editor.\n"
    "\n"
    "usage: quorvel [FILE]\n"
    "       quorvel --script SCRIPT | -s SCRIPT | /SCRIPT\n"
    "       quorvel --info FILE...\n"
    "       quorvel --help | --version\n"
    "\n"
    "  FILE             open FILE in the editor\n"
    "  --script SCRIPT  run SCRIPT in silent mode: no window, no question; errors\n"
    "  -s SCRIPT        and the start and finish times are appended to the log file\n"
    "                   (~/Quorvel.log unless set in the options) and written to\n"
    "                   standard error; exits with 0 when every statement\n"
    "                   succeeded, 1 otherwise\n"
    "  /SCRIPT          the same; a parameter that starts with \"/\" and names an\n"
    "                   existing file opens that file instead (\"//\" always means a\n"
    "                   script: quorvel //home/me/s.txt runs /home/me/s.txt)\n"
    "  --info FILE...   analyse each FILE and print what was found: the information\n"
    "                   line, the frame count, the VBR header of the first frame, its\n"
    "                   encoder, delay and padding when it has them, and\n"
    "                   the blocks around the audio (ID3v2, RIFF, unknown data,\n"
    "                   Lyrics3, ID3v1); exits with 1 when a file could not be analysed\n"
    "  --help           show this help, where the help files and the editor module were found\n"
    "  --version        show the version\n";

// Where the help files were found: beside the program, or in ../share/quorvel.
std::string HelpFilesText() {
  std::string program = FindHelpFile(kProgramHelpFile);
  std::string scripts = FindHelpFile(kScriptHelpFile);
  std::string editor = FindEditorModule();
  return "\nhelp files:\n  program: " + (program.empty() ? std::string("(missing)") : program) +
         "\n  scripts: " + (scripts.empty() ? std::string("(missing)") : scripts) + "\n" +
         "editor window:\n  module: " + (editor.empty() ? std::string("(missing)") : editor) + "\n";
}

bool ExistingFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsLongOption(const std::string& arg) { return arg.size() > 2 && arg.compare(0, 2, "--") == 0; }

// Texts keep "\r\n" line breaks; a terminal wants "\n". Continuation lines are
// indented by `indent` so that a multi-line text stays under its label.
std::string IndentedLines(const std::string& text, const std::string& indent) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      out += '\n';
      // A blank line stays blank.
      bool blank = i + 1 >= text.size() || text[i + 1] == '\r' || text[i + 1] == '\n';
      if (!blank) out += indent;
      continue;
    }
    out += c;
  }
  return out;
}

const char* VbrHeaderName(uint8_t spec) {
  switch (spec) {
    case 1:
      return "Xing";
    case 2:
      return "Info";
    case 3:
      return "VBRI";
    case 4:
      return "FBRI";
    default:
      return "none";
  }
}

struct BlockLine {
  int64_t pos;
  std::string text;
};

std::string BlockText(const std::string& name, int64_t length, int64_t pos) {
  return name + ": " + std::to_string(length) + " bytes at " + std::to_string(pos);
}

// The blocks around the audio, in file order.
std::vector<BlockLine> FoundBlocks(const DocumentState& doc) {
  const SourceAnalysis& s = doc.source;
  std::vector<BlockLine> blocks;
  if (doc.id3v2.present) {
    std::string name = "ID3v2." + std::to_string(doc.id3v2.srcversion.major) + "." +
                       std::to_string(doc.id3v2.srcversion.minor) + " tag";
    blocks.push_back({doc.id3v2.tagstart, BlockText(name, doc.id3v2.tagsize, doc.id3v2.tagstart)});
  }
  if (s.riffFound) blocks.push_back({s.riffPos, BlockText("RIFF header", s.riffLength, s.riffPos)});
  if (s.behindHeaderFound) {
    blocks.push_back({s.behindHeaderPos,
                      BlockText("unknown header", s.behindHeaderLength, s.behindHeaderPos)});
  }
  if (s.footerFound) {
    blocks.push_back({s.footerPos, BlockText("unknown footer", s.footerLength, s.footerPos)});
  }
  if (s.lyricsFound) {
    blocks.push_back({s.lyricsPos, BlockText("Lyrics3 v" + std::to_string(s.lyricsVersion),
                                             s.lyricsLength, s.lyricsPos)});
  }
  if (s.id3v1Found) blocks.push_back({s.id3v1Pos, BlockText("ID3v1 tag", s.id3v1Length, s.id3v1Pos)});
  std::stable_sort(blocks.begin(), blocks.end(),
                   [](const BlockLine& a, const BlockLine& b) { return a.pos < b.pos; });
  return blocks;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  if (args.empty()) return cl;
  const std::string& first = args[0];
  if (first == "--help") {
    cl.action = CommandAction::kHelp;
  } else if (first == "--version") {
    cl.action = CommandAction::kVersion;
  } else if (first == "--info") {
    cl.action = CommandAction::kInfo;
    cl.params.assign(args.begin() + 1, args.end());
    if (cl.params.empty()) {
      cl.action = CommandAction::kUnusable;
      cl.error = "--info needs at least one file";
    }
  } else if (first == "--script" || first == "-s") {
    cl.action = CommandAction::kScript;
    if (args.size() != 2 || args[1].empty()) {
      cl.action = CommandAction::kUnusable;
      cl.error = first + " needs exactly one script file";
    } else {
      cl.params = {args[1]};
    }
  } else if (IsLongOption(first)) {
    cl.action = CommandAction::kUnusable;
    cl.error = "unknown option " + first;
  } else if (args.size() == 1 && first.size() >= 1 && first[0] == '/') {
    // "/" + script path collides with absolute paths: "//" is always a script,
    // an existing file is opened, anything else is a script.
    if (first.compare(0, 2, "//") == 0) {
      cl.action = CommandAction::kScript;
      cl.params = {first.substr(1)};
    } else if (ExistingFile(first)) {
      cl.params = args;
    } else {
      cl.action = CommandAction::kScript;
      cl.params = {first.substr(1)};
      if (cl.params[0].empty()) {
        cl.action = CommandAction::kUnusable;
        cl.error = "\"/\" names no script";
      }
    }
  } else {
    cl.params = args;
  }
  return cl;
}

std::string FileInfoReport(const std::string& path, bool& ok) {
  HeadlessHost host;
  // Nothing may wait for an answer: a question that still comes is refused.
  host.defaultAnswer = kAnswerNo;
  Context ctx(host);
  ctx.options.errorPolicy = kErrorTryToContinue;
  // As in a silent script run: problems are decided without asking and a failure
  // leaves its text in the script state instead of a message.
  ctx.script.active = true;
  ctx.script.silent = true;
  Loadfile(ctx, path);

  std::string report = path + "\n";
  const DocumentState& doc = ctx.doc;
  ok = doc.loaded && ctx.script.resultCode == 0;
  if (!ok) {
    std::string text = ctx.script.errorText;
    if (text.empty()) text = "The file could not be analysed.";
    report += "  error: " + IndentedLines(text, "         ") + "\n";
    return report;
  }
  report += "  " + InfoLine(doc.sourceStats) + "\n";
  report += "  frames: " + std::to_string(doc.frameTableCount) + "\n";
  uint8_t spec = doc.frameTableCount > 0 ? doc.frames[0].spec : 0;
  report += std::string("  VBR header: ") + VbrHeaderName(spec) + "\n";
  const LameTag& lame = doc.files[0].lame;
  if (lame.present) {
    report += "  encoder: " + lame.encoder() + ", delay " + std::to_string(lame.delay) + ", padding " +
              std::to_string(lame.padding) + "\n";
  }
  for (const BlockLine& block : FoundBlocks(doc)) report += "  " + block.text + "\n";
  return report;
}

const char* UsageText() { return kUsageText; }

int RunCommandLine(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  CommandLine cl = ParseCommandLine(args);
  switch (cl.action) {
    case CommandAction::kHelp:
      std::fputs(kHelpText, stdout);
      std::fputs(HelpFilesText().c_str(), stdout);
      return kExitOk;
    case CommandAction::kVersion:
      std::printf("quorvel %s\n", ProgramVersion());
      return kExitOk;
    case CommandAction::kInfo: {
      int status = kExitOk;
      for (size_t i = 0; i < cl.params.size(); ++i) {
        bool ok = false;
        std::string report = FileInfoReport(cl.params[i], ok);
        if (i > 0) std::fputc('\n', stdout);
        std::fwrite(report.data(), 1, report.size(), stdout);
        std::fflush(stdout);
        if (!ok) status = kExitFailed;
      }
      return status;
    }
    case CommandAction::kUnusable:
      std::fprintf(stderr, "quorvel: %s\n%s", cl.error.c_str(), kUsageText);
      return kExitUsage;
    case CommandAction::kScript:
      return RunSilentCommandLine(cl.params[0]);
    case CommandAction::kEditor:
      break;
  }
  // The editor window is not part of this build yet.
  if (cl.params.size() == 1) {
    std::fprintf(stderr, "quorvel: cannot open %s: the editor window is not available in this build\n",
                 cl.params[0].c_str());
  } else if (cl.params.size() > 1) {
    std::fputs("quorvel: the editor opens one file at most; nothing was processed\n", stderr);
  } else {
    std::fputs("quorvel: the editor window is not available in this build\n", stderr);
  }
  std::fputs(kUsageText, stderr);
  return kExitUsage;
}

}  // namespace quorvel
