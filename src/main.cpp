// quorvel: the program entry. The command line is read by the app layer; the
// editor window is started only when the command line asks for it, so --info,
// --help and the silent script run need no display.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "ui/editor.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  quorvel::CommandLine cl = quorvel::ParseCommandLine(args);
  if (cl.action == quorvel::CommandAction::kEditor) return quorvel::RunEditor(argc, argv, cl.params);
  return quorvel::RunCommandLine(argc, argv);
}
