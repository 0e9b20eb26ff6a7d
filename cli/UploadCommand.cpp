#include "UploadCommand.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "Adexcept.h"
#include "Adport.h"
#include "Console.h"
#include "ConsoleHost.h"
#include "DspPath.h"
#include "EngineHooks.h"
#include "PortList.h"
#include "RegularFile.h"
#include "Unit2.h"
#include "UploadPortSettings.h"

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
// it; the DSP data blocks look at no stop request and end only through a
// failed port operation.
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
  return command.devicePath.empty() ? "COM" + std::to_string(command.comNumber)
                                    : command.devicePath;
}

// Load's rule: the path names an existing file, and only a regular one (a
// FIFO would block the open, a directory or a device has nothing to send).
// Returns "" when it does, else what is wrong.
std::string CheckImageFile(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return "no such file";
  std::string problem;
  std::FILE* file = OpenRegularFile(path, problem);
  if (file == nullptr) return problem;
  std::fclose(file);
  return "";
}

}  // namespace

int ExitStatusFor(TaskEnd end) {
  switch (end) {
    case TaskEnd::Confirmed: return kExitFinished;
    case TaskEnd::Unconfirmed: return kExitUnconfirmed;
    case TaskEnd::Early:
    case TaskEnd::FlashError: break;
  }
  return kExitEndedEarly;
}

int RunUpload(const CommandLine& command, std::FILE* out, std::FILE* err) {
  if (const std::string problem = CheckImageFile(command.imagePath); !problem.empty()) {
    std::fprintf(err, "zarn-upload: %s: %s\n", command.imagePath.c_str(), problem.c_str());
    return kExitUsage;
  }

  TApdComPort port;
  ConfigurePort(port, command);
  try {
    port.SetOpen(true);
    port.FlushInBuffer();
    port.FlushOutBuffer();
  } catch (const Exception& e) {
    std::fprintf(err, "zarn-upload: %s: %s\n", PortName(command).c_str(), e.what());
    return kExitUsage;
  }

  ConsoleHost host(port, command.imagePath, out, err, IsTerminal(err));
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
    if (IsDspPath(command.imagePath)) {
      task = new UpDspThread(host, RealTaskClock(),
                             command.fast ? DspPacing::AckDriven : DspPacing::PausePerBlock);
    } else {
      task = new UpThread(host);
    }
  } catch (const std::exception& e) {
    std::fprintf(err, "zarn-upload: cannot start the upload: %s\n", e.what());
    port.SetOpen(false);
    return kExitEndedEarly;
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
  return ExitStatusFor(host.Outcome().value_or(TaskEnd::Early));
}

int RunListPorts(std::FILE* out) {
  for (const TPortInfo& port : ListPorts()) {
    std::fprintf(out, "COM%u  %s  %s\n", static_cast<unsigned>(port.number), port.path.c_str(),
                 port.description.c_str());
  }
  std::fflush(out);
  return kExitFinished;
}
