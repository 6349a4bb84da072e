#include "app/command_line.h"

#include <cstdio>
#include <cstring>

namespace quorvel {

int RunCommandLine(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quorvel 0.1.0\n");
    return 0;
  }
  std::fprintf(stderr, "usage: quorvel [--help | --version | --info FILE...]\n");
  return 2;
}

}  // namespace quorvel
