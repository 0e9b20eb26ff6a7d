// The console on Windows. A stream is a terminal when its handle is a console
// (GetConsoleMode succeeds): _isatty also says yes for the NUL device and
// returns a non-zero value that is not 1. Ctrl-C, Ctrl-Break and the console
// window's close come through SetConsoleCtrlHandler, on a thread the system
// starts for each event.
//
// The classic console prints escape sequences as they are unless
// virtual-terminal processing is on; SetConsoleMode refuses that mode with
// ERROR_INVALID_PARAMETER before Windows 10, and then the bar is overwritten
// with spaces instead. The output code page is set to UTF-8 for the run
// (SetConsoleOutputCP fails without a console, and then nothing is changed);
// text for a console still goes through WriteConsoleW, since the C runtime
// translates console bytes through its own locale's code page first.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "../Console.h"
#include "../ConsoleStop.h"
#include "ConsoleEvents.h"
#include "win32/Utf16Text.h"

namespace {

using namespace std::chrono_literals;

// How long a console close, log-off or shut-down holds the process for the
// stop path: below the 5 s after which Windows ends it regardless, so that
// this handler, not the system, decides when.
constexpr auto kCloseStopLimit = 4500ms;

// The most characters one WriteConsoleW call is given: older consoles refuse
// a buffer above 64 KiB with ERROR_NOT_ENOUGH_MEMORY.
constexpr DWORD kConsoleWriteChunk = 8192;

ConsoleStop& Stop() {
  static ConsoleStop stop;
  return stop;
}

// The console behind `stream`, or nothing when it writes elsewhere.
HANDLE ConsoleOf(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  if (handle == -1) return nullptr;
  DWORD mode = 0;
  if (GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) == 0) return nullptr;
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: return Stop().TakeInterrupt() ? TRUE : FALSE;
    // Interactive programs get only the close; the other two reach a
    // program that runs as a service. The process ends once this returns.
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: Stop().AwaitFinishForClose(kCloseStopLimit); return TRUE;
    default: return FALSE;
  }
}

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

void WriteText(std::FILE* stream, std::string_view text) {
  HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    return;
  }
  // What the stream holds goes first, in order.
  std::fflush(stream);
  const std::wstring wide = WideFromUtf8(text);
  // WriteConsoleW may take part of a buffer; a failed call (the console
  // gone) drops the rest, as a write to a closed pipe would.
  for (size_t done = 0; done < wide.size();) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(wide.size() - done, kConsoleWriteChunk));
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
      return;
    }
    done += written;
  }
}

std::optional<BarEraser> ProgressBarEraser(std::FILE* stream) {
  HANDLE console = ConsoleOf(stream);
  if (console == nullptr) return std::nullopt;
  DWORD mode = 0;
  GetConsoleMode(console, &mode);
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return BarEraser::EscapeSequence;
  return BarEraser::Overwrite;
}

ConsoleSession::ConsoleSession() {
  const UINT codePage = GetConsoleOutputCP();
  if (codePage != 0 && codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    savedOutputCodePage_ = codePage;
  }
  HANDLE console = ConsoleOf(stderr);
  DWORD mode = 0;
  if (console != nullptr && GetConsoleMode(console, &mode) &&
      !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
      SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    savedErrorMode_ = mode;
    errorModeChanged_ = true;
  }
}

ConsoleSession::~ConsoleSession() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (errorModeChanged_) {
    if (HANDLE console = ConsoleOf(stderr)) SetConsoleMode(console, savedErrorMode_);
  }
  if (savedOutputCodePage_ != 0) SetConsoleOutputCP(savedOutputCodePage_);
  Stop().Finished();
}

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool InterruptRequested() { return Stop().Requested(); }
