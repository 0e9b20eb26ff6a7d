// A port set up the way the main window sets up its port, for tests and
// benchmarks that put it on a pseudo-terminal.
#pragma once

#include <string>

#include "Adport.h"

// Gives `port` the main window's line settings and ring sizes for `path`
// (115200 8N1, 32 KiB rings, no automatic open, DTR and RTS low); leaves
// it closed.
void ConfigureLikeMainWindow(TApdCustomComPort& port, const std::string& path);

// ConfigureLikeMainWindow, then opens the port and empties both rings, as the
// window's Connect does.
void OpenPortOn(TApdCustomComPort& port, const std::string& path);
