// What the command-line front end needs from the operating system's console:
// whether a stream is a terminal and how a progress bar is erased there, the
// console's set-up for the run, and the stop events (Ctrl-C, the console
// window's close). The backend file is chosen by CMake per operating system.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "BarEraser.h"

// True when `stream` writes to a terminal.
bool IsTerminal(std::FILE* stream);

// Writes `text` (UTF-8) to `stream` and flushes it. On a Windows console the
// text goes as UTF-16 through WriteConsoleW: the C runtime would first pass
// the bytes through its locale's code page, which turns "Прошивка" into
// "РџСЂРѕ..." whatever the console's own code page. Files, pipes and POSIX
// terminals get the bytes as they are. Any thread; calls on one stream must
// not overlap.
void WriteText(std::FILE* stream, std::string_view text);

// How a progress bar is taken off the line on `stream`; nothing when the
// stream is no terminal (a file or a pipe gets no bar). Call after the
// ConsoleSession has been set up.
std::optional<BarEraser> ProgressBarEraser(std::FILE* stream);

// The console set up for one run of the program and put back at its end:
// text out in UTF-8 (on Windows the console's output code page, which is the
// OEM one by default, so that non-ASCII paths and system texts show), and
// escape sequences taken on standard error where the console can. Its end
// also tells a console-close handler that the program has finished its stop
// path (see InstallInterruptHandler). Construct once, first thing in main, on
// the main thread; nothing may print after it has gone.
class ConsoleSession {
 public:
  ConsoleSession();
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

 private:
  unsigned int savedOutputCodePage_ = 0;  // 0: the code page was not changed
  unsigned long savedErrorMode_ = 0;
  bool errorModeChanged_ = false;
};

// Makes the first Ctrl-C (or termination request) set a flag instead of
// ending the process; the next one ends it as usual. Where the console can be
// closed under the program (Windows), the close also sets the flag and then
// holds the process until the ConsoleSession ends, up to a limit below the
// system's own. Call once, before any thread is started.
void InstallInterruptHandler();
// True once the first Ctrl-C has come. Safe from any thread.
bool InterruptRequested();
