// quorvel: the program entry. The command line is read by the app layer. The
// editor window lives in a module of its own (quorvel-editor.so) that is loaded
// only when the command line asks for the window, so --info, --help and silent
// script runs neither load Qt nor need a display.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/paths.h"

namespace {

using RunEditorEntry = int (*)(int, char**, int, const char* const*);

int StartEditor(int argc, char** argv, const std::vector<std::string>& params) {
  const std::string module = quorvel::FindEditorModule();
  if (module.empty()) {
    std::fprintf(stderr, "quorvel: the editor window is not available: %s is missing\n", quorvel::kEditorModuleFile);
    return 2;
  }
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "quorvel: the editor window is not available: %s\n", dlerror());
    return 2;
  }
  auto entry = reinterpret_cast<RunEditorEntry>(dlsym(handle, "quorvel_run_editor"));
  if (entry == nullptr) {
    std::fprintf(stderr, "quorvel: the editor window is not available: %s\n", dlerror());
    return 2;
  }
  std::vector<const char*> list;
  for (const std::string& p : params) list.push_back(p.c_str());
  // The module stays loaded until the process ends: Qt registers exit handlers.
  return entry(argc, argv, static_cast<int>(list.size()), list.data());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  quorvel::CommandLine cl = quorvel::ParseCommandLine(args);
  if (cl.action == quorvel::CommandAction::kEditor) return StartEditor(argc, argv, cl.params);
  return quorvel::RunCommandLine(argc, argv);
}
