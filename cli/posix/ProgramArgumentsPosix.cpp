// On POSIX the arguments are the bytes the caller passed; with the UTF-8
// locales this program supports they are UTF-8 already.
#include "../ProgramArguments.h"

ProgramArguments ReadProgramArguments(int argc, char** argv) {
  ProgramArguments read;
  if (argc > 0) read.program = argv[0];
  for (int i = 1; i < argc; ++i) read.arguments.emplace_back(argv[i]);
  return read;
}
