// A port set up the way the main window sets up its port, for tests and
// benchmarks that put it on a pseudo-terminal.
#pragma once

#include <string>

#include "Adport.h"

// Gives `port` the main window's stored settings and Connect's line settings
// (UploadPortSettings.h) for `path`; leaves it closed.
void ConfigureLikeMainWindow(TApdCustomComPort& port, const std::string& path);

// ConfigureLikeMainWindow, then opens the port and empties both rings, as the
// window's Connect does.
void OpenPortOn(TApdCustomComPort& port, const std::string& path);
