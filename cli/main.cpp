// zarn-upload: the uploads of ZARN Multi-Loader without the window, for
// scripts and production lines.
#include <cstdio>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "UploadCommand.h"

int main(int argc, char** argv) {
  const std::string program = argc > 0 ? argv[0] : "zarn-upload";
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.command) {
    std::fprintf(stderr, "zarn-upload: %s\n\n%s", parsed.error.c_str(), UsageText(program).c_str());
    return kExitUsage;
  }
  switch (parsed.command->action) {
    case CommandLine::Action::Help:
      std::fputs(UsageText(program).c_str(), stdout);
      return kExitFinished;
    case CommandLine::Action::Version:
      std::fputs(VersionText().c_str(), stdout);
      return kExitFinished;
    case CommandLine::Action::ListPorts: return RunListPorts(stdout);
    case CommandLine::Action::Upload: return RunUpload(*parsed.command, stdout, stderr);
  }
  return kExitUsage;
}
