// quorvel-editor.so: the editor window as a module that the program loads when
// the command line asks for the window. Its one exported entry starts it.
#include <string>
#include <vector>

#include "ui/editor.h"

extern "C" __attribute__((visibility("default"))) int quorvel_run_editor(int argc, char** argv, int count,
                                                                         const char* const* params) {
  std::vector<std::string> list;
  for (int i = 0; i < count; ++i) list.emplace_back(params[i]);
  return quorvel::RunEditor(argc, argv, list);
}
