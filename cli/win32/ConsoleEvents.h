// The console event handler that InstallInterruptHandler registers, named
// here so that a test can deliver the events wine cannot raise (a console
// window's close) the way the system does: on a thread of its own.
#pragma once

#include <windows.h>

// Returns TRUE when the event is handled here, FALSE to pass it to the
// system's default (which ends the process). A close, log-off or shut-down
// blocks until the ConsoleSession has ended, at most a fixed limit.
BOOL WINAPI OnConsoleEvent(DWORD event);
