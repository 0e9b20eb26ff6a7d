// What the command-line front end needs from the operating system's console:
// whether a stream is a terminal, and Ctrl-C. The backend file is chosen by
// CMake per operating system.
#pragma once

#include <cstdio>

// True when `stream` writes to a terminal.
bool IsTerminal(std::FILE* stream);

// Makes the first Ctrl-C (or termination request) set a flag instead of
// ending the process; the next one ends it as usual. Call once, before any
// thread is started.
void InstallInterruptHandler();
// True once the first Ctrl-C has come. Safe from any thread.
bool InterruptRequested();
