#include "../Console.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// SIGHUP: the terminal closed under the program (a log-off).
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first stop signal of either kind asks for a stop; both then go back to
// their default, so any second one ends the program at once.
void OnInterrupt(int) {
  interrupted.store(true);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int stopSignal : kStopSignals) sigaction(stopSignal, &fallback, nullptr);
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void WriteText(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Every terminal this program runs on takes the erase-line sequence.
std::optional<BarEraser> ProgressBarEraser(std::FILE* stream) {
  if (!IsTerminal(stream)) return std::nullopt;
  return BarEraser::EscapeSequence;
}

// The terminal needs no set-up: text is UTF-8 and escape sequences work.
ConsoleSession::ConsoleSession() = default;
ConsoleSession::~ConsoleSession() = default;

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int stopSignal : kStopSignals) sigaction(stopSignal, &action, nullptr);
}

bool InterruptRequested() { return interrupted.load(); }
