// zarn-station --console: the station in a terminal. A live table on
// standard output (redrawn in place on a terminal that takes escape
// sequences; elsewhere a line for each change of a port's state), Ctrl-C as
// Stop, and the exit status of the README.
//
// Threads: the main thread, inside a QCoreApplication.
#pragma once

#include "StationConfig.h"

int RunConsoleStation(const StationConfig& config);
