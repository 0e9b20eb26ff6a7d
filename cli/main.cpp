// zarn-upload: the uploads of ZARN Multi-Loader without the window, for
// scripts and production lines.
#include <cstdio>
#include <string>

#include "CommandLine.h"
#include "Console.h"
#include "ProgramArguments.h"
#include "RunningMark.h"
#include "UploadCommand.h"

namespace {

int Run(const ProgramArguments& read) {
  const std::string program = read.program.empty() ? "zarn-upload" : read.program;
  const ParsedCommandLine parsed = ParseCommandLine(read.arguments);
  if (!parsed.command) {
    WriteText(stderr, "zarn-upload: " + parsed.error + "\n\n" + UsageText(program));
    return kExitUsage;
  }
  switch (parsed.command->action) {
    case CommandLine::Action::Help: WriteText(stdout, UsageText(program)); return kExitFinished;
    case CommandLine::Action::Version: WriteText(stdout, VersionText()); return kExitFinished;
    case CommandLine::Action::ListPorts: return RunListPorts(stdout);
    case CommandLine::Action::Info: return RunInfo(*parsed.command, stdout, stderr);
    case CommandLine::Action::Upload: return RunUpload(*parsed.command, stdout, stderr);
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  MarkProgramRunning();  // the installer must not replace files in use
  const ConsoleSession console;
  return Run(ReadProgramArguments(argc, argv));
}
