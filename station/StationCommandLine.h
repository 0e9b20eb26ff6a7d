// zarn-station's command line. Pure; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "StationConfig.h"

struct StationCommand {
  bool help = false;
  bool console = false;
  StationConfig config;  // uploadProgram empty unless --upload-program was given
};

struct ParsedStationCommand {
  std::optional<StationCommand> command;  // nothing on a usage error
  std::string error;
};

ParsedStationCommand ParseStationCommandLine(const std::vector<std::string>& arguments);
std::string StationUsageText(const std::string& program);
