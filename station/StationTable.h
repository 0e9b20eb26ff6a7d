// The console's live table: a title line, one line per port and the totals.
// Pure function; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "PortMachine.h"
#include "Station.h"

// The lines of the table, without line breaks; a port's last unit shows its
// local time of day ("12:03:05").
std::vector<std::string> StationTableLines(const std::string& image,
                                           const std::vector<PortView>& views,
                                           const StationTotals& totals);

// The line of one port, as the table shows it.
std::string PortLine(const PortView& view);
