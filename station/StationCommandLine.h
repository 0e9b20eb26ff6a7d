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
  // A profile (a file named *.ini) in place of the options: the station's
  // settings come from it (StationProfile.h), `config` holds only
  // uploadProgram.
  std::string profilePath;
};

struct ParsedStationCommand {
  std::optional<StationCommand> command;  // nothing on a usage error
  std::string error;
};

ParsedStationCommand ParseStationCommandLine(const std::vector<std::string>& arguments);
std::string StationUsageText(const std::string& program);
