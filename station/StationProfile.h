// A station profile: an INI file that holds what a station run needs (the
// image, the ports, the fast transfer, the record, loop mode, the re-arm
// time) and whether the station window locks it. Relative paths in it are
// relative to the profile's own folder, so a station folder (profile, image,
// record) can be copied to another PC as it is.
//
//   [station]
//   image=firmware/image.ZARN
//   ports=COM31, COM32, /dev/ttyUSB0
//   fast=false
//   record=bench.csv
//   loop=true
//   rearmQuietMs=3000
//   locked=false
//
// Threads: any; each call works on its own QSettings.
#pragma once

#include <optional>
#include <string>

#include "StationConfig.h"

struct StationProfile {
  StationConfig config;  // uploadProgram is left empty
  bool locked = false;   // the window hides everything but Start/Stop and the tiles
};

// Reads the profile at `path` (UTF-8); nothing, with `error` saying why, when
// it cannot be read or lacks the image or the ports.
std::optional<StationProfile> LoadStationProfile(const std::string& path, std::string& error);
// Writes `profile` to `path`, the image and the record relative to the
// profile's folder where they lie inside it. "" when written, else why not.
std::string SaveStationProfile(const std::string& path, const StationProfile& profile);
