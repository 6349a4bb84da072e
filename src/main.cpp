// quorvel: the program entry. The command line is read by the app layer.
#include "app/command_line.h"

int main(int argc, char** argv) { return quorvel::RunCommandLine(argc, argv); }
