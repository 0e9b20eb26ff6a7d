// What a station run is given: the image, the ports, the transfer and record
// options, loop mode and the re-arm time, and the zarn-upload to run.
//
// Plain values; copy them freely.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// The line must be quiet this long after a finished unit before the port
// listens for the next one: longer than the pause between two greetings of
// a waiting STB (about 1 s), so a unit that greets again after its restart
// is never taken for a new one.
inline constexpr std::chrono::milliseconds kDefaultRearmQuiet{3000};

// After Stop, how long the children have to take their own stop path (stop
// the upload, close the port, write their record row) before they are
// killed.
inline constexpr std::chrono::milliseconds kStopLimit{2000};

struct StationConfig {
  std::string imagePath;           // UTF-8
  std::vector<std::string> ports;  // as the user names them: "COM31", "/dev/ttyUSB0"
  bool fast = false;               // the fast DSP transfer
  std::string recordPath;          // "" : no record
  bool loop = false;               // arm again for the next unit
  std::chrono::milliseconds rearmQuiet = kDefaultRearmQuiet;
  std::string uploadProgram;  // the zarn-upload executable
};
