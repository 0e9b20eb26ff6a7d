// How the station starts and stops its zarn-upload children so that a stop
// is the child's own Ctrl-C path (its upload stops, its port closes, its
// record row is written) and the station alone decides when it comes. The
// backend file is chosen by CMake per operating system.
//
// POSIX: each child leads a process group of its own, so a Ctrl-C at the
// terminal reaches only the station (a second SIGINT from the terminal would
// end the child at once, without its stop path); the stop is one SIGINT.
// Windows: each child starts in a new process group (CREATE_NEW_PROCESS_GROUP)
// and is stopped with CTRL_BREAK_EVENT for that group, which zarn-upload
// takes as it takes Ctrl-C (GenerateConsoleCtrlEvent cannot send Ctrl-C to
// another group). That reaches the child only through a console both share:
// zarn-station.exe is a console program, so both its modes have one and the
// children are started on it; a station started without a console (detached)
// cannot send the stop, and its children are killed after the stop limit.
//
// Threads: the thread that owns the QProcess.
#pragma once

class QProcess;

// Call before QProcess::start.
void PrepareStoppableChild(QProcess& process);
// Sends the child its Ctrl-C; false when it could not be sent (the station
// then waits for the stop limit and kills it).
bool InterruptChild(QProcess& process);
