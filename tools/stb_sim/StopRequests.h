// The requests to stop that reach zarn-stb-sim from outside: the user's
// Ctrl-C, a kill, a closed terminal or console window. The backend file is
// chosen by CMake.
//
// Threads: WatchStopRequests once from the main thread at start-up;
// StopRequested from any thread.
#pragma once

namespace stbsim {

// From now on a stop request is noted instead of ending the process at once,
// so that the program can close its line and remove its link. POSIX:
// SIGINT, SIGTERM and SIGHUP (and a write to a closed pipe fails instead of
// ending it). Windows: the console's Ctrl-C, Ctrl-Break, close, log-off and
// shut-down events.
void WatchStopRequests();

// A stop has been requested.
bool StopRequested();

}  // namespace stbsim
