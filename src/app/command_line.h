#pragma once

namespace quorvel {

// Reads the command line and runs what it asks for; returns the exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace quorvel
