#include "UploadCommand.h"

#include <chrono>
#include <memory>
#include <string>

#include "Adexcept.h"
#include "Adport.h"
#include "ComName.h"
#include "Console.h"
#include "ConsoleHost.h"
#include "EngineHooks.h"
#include "ImageAdmission.h"
#include "ImageInfo.h"
#include "InfoText.h"
#include "PortList.h"
#include "Unit2.h"
#include "UploadEvents.h"
#include "UploadPortSettings.h"
#include "UploadRecord.h"
#include "UploadStory.h"
#include "UploadTaskFactory.h"

namespace {

using namespace std::chrono_literals;

// Time for the last queued bytes (a final word, the CAN bytes) to leave
// before the port closes.
constexpr auto kOutputDrainLimit = 5s;
// Time for a finished task's thread to release its object.
constexpr auto kTaskReleaseLimit = 5s;
// How long the main loop may go without looking at Ctrl-C.
constexpr auto kInterruptRecheck = 20ms;
// After the first Ctrl-C, how long a task may take to end on its stop request
// before the port is closed under it, as Disconnect does. A task in a wait
// ends at once, and one that sends a final word on its way out gets to queue
// it; the default DSP pacing's data blocks look at no stop request and end
// only through a failed port operation.
constexpr auto kStopGrace = 1s;

const char kStoppingNote[] = "zarn-upload: stopping the upload (Ctrl-C again quits at once)";

// The window's stored port settings and Connect's line settings, on the
// port the command line names.
void ConfigurePort(TApdComPort& port, const CommandLine& command) {
  UploadPort::ApplyStoredSettings(port);
  port.SetDevicePath(command.devicePath);
  port.SetComNumber(command.comNumber);
  UploadPort::ApplyLineSettings(port);
}

std::string PortName(const CommandLine& command) {
  return command.devicePath.empty() ? ComNameFor(command.comNumber) : command.devicePath;
}

// The end event and the record row, once the port is closed; returns the
// exit status.
int Report(const CommandLine& command, ConsoleHost& host, const UploadSummary& summary) {
  if (command.json) host.PrintOut(EndEvent(summary));
  if (!command.recordPath.empty()) {
    if (const std::string problem = AppendUploadRecord(command.recordPath, summary);
        !problem.empty()) {
      host.PrintNote("zarn-upload: " + command.recordPath + ": " + problem);
    }
  }
  return summary.exitStatus;
}

}  // namespace

int RunUpload(const CommandLine& command, std::FILE* out, std::FILE* err) {
  // A path that does not open as a regular file is a usage error, found
  // before the port is touched; a file refused for its length is left to the
  // task, whose box says so as Send's does.
  const UploadProtocol protocol = ProtocolForPath(command.imagePath);
  if (const ImageAdmission admission = CheckImage(command.imagePath, protocol);
      !admission.Openable()) {
    WriteText(err, "zarn-upload: " + command.imagePath + ": " + admission.problem + "\n");
    return kExitUsage;
  }

  const bool recording = !command.recordPath.empty();
  if (recording) {
    if (const std::string problem = CheckRecordFile(command.recordPath); !problem.empty()) {
      WriteText(err, "zarn-upload: " + command.recordPath + ": " + problem + "\n");
      return kExitUsage;
    }
  }

  TApdComPort port;
  ConfigurePort(port, command);
  try {
    port.SetOpen(true);
    port.FlushInBuffer();
    port.FlushOutBuffer();
  } catch (const Exception& e) {
    WriteText(err, "zarn-upload: " + PortName(command) + ": " + e.what() + "\n");
    return kExitUsage;
  }

  UploadStory story;
  // The file's fingerprint is read only when an event or a record shows it.
  story.Begin(StartOfUpload(PortName(command), command.imagePath, protocol, command.fast,
                            command.json || recording));
  ConsoleHost host(port, command.imagePath, out, err, ProgressBarEraser(err),
                   command.json ? ConsoleHost::Output::Json : ConsoleHost::Output::Text, story);
  if (command.json) host.PrintOut(StartEvent(story.Summarize().start));
  // The engine's failure reports go through the host's writer, as whole lines
  // clear of the progress bar. The port is closed (its threads have ended)
  // before the host goes away.
  SetThreadFailureReporter([&host](const std::string& exceptionClass, const std::string& message) {
    host.PrintNote("Application Error: " + exceptionClass + ": " + message);
  });
  struct ReporterReset {
    ~ReporterReset() { SetThreadFailureReporter(nullptr); }
  } reporterReset;
  InstallInterruptHandler();

  TThread* task = nullptr;
  try {
    task = StartUploadTask(host, protocol, command.fast).Task();
  } catch (const std::exception& e) {
    host.PrintNote(std::string("zarn-upload: cannot start the upload: ") + e.what());
    port.SetOpen(false);
    return Report(command, host, story.Summarize());
  }

  // Closes the port, once its queued bytes have left when `drainFirst`; a
  // failure of the close is reported, not raised.
  const auto closePort = [&](bool drainFirst) {
    try {
      if (drainFirst) port.WaitForOutputDrained(kOutputDrainLimit);
      port.SetOpen(false);
    } catch (const Exception& e) {
      host.PrintNote("zarn-upload: " + PortName(command) + ": " + e.what());
    }
  };

  // The notice runs on this thread, inside ProcessUntil, so the task is
  // alive whenever TaskRunning reads true here.
  const auto taskEnded = [] { return !TaskRunning.load(); };
  const auto never = std::chrono::steady_clock::time_point::max();
  host.Queue().ProcessUntil([&] { return taskEnded() || InterruptRequested(); }, never,
                            kInterruptRecheck);
  if (!taskEnded()) {
    host.PrintNote(kStoppingNote);
    task->RequestStop();
    const bool endedOnRequest = host.Queue().ProcessUntil(
        taskEnded, std::chrono::steady_clock::now() + kStopGrace, kInterruptRecheck);
    if (!endedOnRequest) {
      // Waits for a port operation in progress; the task then fails on the
      // closed port and ends through its own failure path.
      closePort(false);
      host.Queue().ProcessUntil(taskEnded, never, kInterruptRecheck);
    }
  }

  TThread::WaitUntilAllReleased(kTaskReleaseLimit);
  host.ClearProgressBar();
  closePort(true);
  return Report(command, host, story.Summarize());
}

int RunInfo(const CommandLine& command, std::FILE* out, std::FILE* err) {
  const ImageInfo info = DescribeImage(command.imagePath);
  if (command.json) {
    WriteText(out, InfoObject(info) + "\n");
  } else {
    for (const std::string& line : InfoLines(info)) WriteText(out, line + "\n");
  }
  if (!info.readError.empty()) {
    WriteText(err, "zarn-upload: " + info.path + ": " + info.readError + "\n");
  }
  return info.Sendable() ? kExitFinished : kExitEndedEarly;
}

int RunListPorts(std::FILE* out) {
  for (const TPortInfo& port : ListPorts()) {
    WriteText(out, ComNameFor(port.number) + "  " + port.path + "  " + port.description + "\n");
  }
  std::fflush(out);
  return kExitFinished;
}
