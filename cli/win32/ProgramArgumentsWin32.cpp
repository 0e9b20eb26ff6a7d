// The UTF-16 command line split as the C runtime splits it
// (CommandLineToArgvW), each word converted to UTF-8. CommandLineToArgvW
// fails (returns null) only when it cannot allocate; the ANSI argv then is
// the best there is.
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include "../ProgramArguments.h"
#include "win32/Utf16Text.h"

namespace {

ProgramArguments FromNarrow(int argc, char** argv) {
  ProgramArguments read;
  if (argc > 0) read.program = argv[0];
  for (int i = 1; i < argc; ++i) read.arguments.emplace_back(argv[i]);
  return read;
}

}  // namespace

ProgramArguments ReadProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return FromNarrow(argc, argv);
  ProgramArguments read;
  if (count > 0) read.program = Utf8FromWide(words[0]);
  for (int i = 1; i < count; ++i) read.arguments.push_back(Utf8FromWide(words[i]));
  LocalFree(words);
  return read;
}
