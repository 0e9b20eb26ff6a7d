// zarn-station: flashes one image into many STBs at once, one zarn-upload
// process per port, for production and repair benches.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <optional>
#include <string>

#include "Console.h"
#include "ConsoleStation.h"
#include "DspPath.h"
#include "ImageAdmission.h"
#include "ProgramArguments.h"
#include "StationCommandLine.h"
#include "StationProfile.h"
#include "StationWindow.h"
#include "UploadRecord.h"
#include "UploadResult.h"

namespace {

// The zarn-upload that runs the uploads: the one installed beside this
// program, or in a build tree the one built with it.
std::string DefaultUploadProgram() {
  const QString beside =
      QDir(QCoreApplication::applicationDirPath()).filePath(ZARN_UPLOAD_PROGRAM_NAME);
  if (QFileInfo(beside).isExecutable()) return beside.toStdString();
  return ZARN_UPLOAD_BUILD_PATH;
}

int Usage(const std::string& program, const std::string& error) {
  WriteText(stderr, "zarn-station: " + error + "\n\n" + StationUsageText(program));
  return kExitUsage;
}

int Run(const std::string& program, const ParsedStationCommand& parsed) {
  if (!parsed.command) return Usage(program, parsed.error);
  if (parsed.command->help) {
    WriteText(stdout, StationUsageText(program));
    return kExitFinished;
  }
  StationConfig config = parsed.command->config;
  bool locked = false;
  if (!parsed.command->profilePath.empty()) {
    std::string error;
    const std::optional<StationProfile> profile =
        LoadStationProfile(parsed.command->profilePath, error);
    if (!profile) {
      WriteText(stderr, "zarn-station: " + parsed.command->profilePath + ": " + error + "\n");
      return kExitUsage;
    }
    const std::string uploadProgram = config.uploadProgram;
    config = profile->config;
    locked = profile->locked;
    config.uploadProgram = uploadProgram;
    if (config.fast && !IsDspPath(config.imagePath)) {
      WriteText(stderr, "zarn-station: " + parsed.command->profilePath +
                            ": fast is for .DSP files only; a ZARN image has no fast transfer\n");
      return kExitUsage;
    }
  }
  // What would stop every child at once is a usage error, found first.
  const ImageAdmission admission = CheckImage(config.imagePath, ProtocolForPath(config.imagePath));
  if (!admission.Openable()) {
    WriteText(stderr, "zarn-station: " + config.imagePath + ": " + admission.problem + "\n");
    return kExitUsage;
  }
  if (!config.recordPath.empty()) {
    if (const std::string problem = CheckRecordFile(config.recordPath); !problem.empty()) {
      WriteText(stderr, "zarn-station: " + config.recordPath + ": " + problem + "\n");
      return kExitUsage;
    }
  }
  if (config.uploadProgram.empty()) config.uploadProgram = DefaultUploadProgram();
  if (!QFileInfo(QString::fromStdString(config.uploadProgram)).isExecutable()) {
    WriteText(stderr, "zarn-station: no zarn-upload at " + config.uploadProgram + "\n");
    return kExitUsage;
  }
  if (parsed.command->console) return RunConsoleStation(config);
  return RunStationWindow(StationProfile{config, locked}, parsed.command->profilePath);
}

}  // namespace

int main(int argc, char** argv) {
  const ConsoleSession console;
  const ProgramArguments read = ReadProgramArguments(argc, argv);
  const std::string program = read.program.empty() ? "zarn-station" : read.program;
  const ParsedStationCommand parsed = ParseStationCommandLine(read.arguments);
  // The window's application only for the window: the console runs
  // without a desktop.
  if (parsed.command && !parsed.command->console && !parsed.command->help) {
    QApplication application(argc, argv);
    return Run(program, parsed);
  }
  QCoreApplication application(argc, argv);
  return Run(program, parsed);
}
