// What zarn-upload was asked to do, read from its arguments.
//
// Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  enum class Action { Upload, ListPorts, Help, Version };
  Action action = Action::Help;
  // Upload: the port, either a device path or a port number from "COM<n>".
  std::string devicePath;
  uint16_t comNumber = 0;
  std::string imagePath;
  // Upload of a .DSP file with the fast transfer (DspPacing::AckDriven). The
  // parser refuses it for any other file rather than ignore it: the user
  // asked for something the ZARN protocol does not have.
  bool fast = false;
};

struct ParsedCommandLine {
  std::optional<CommandLine> command;  // nothing on a usage error
  std::string error;                   // what was wrong, for the usage message
};

// Reads the arguments that follow the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The port number that "COM<n>" or "\\.\COM<n>" names (any letter case, n
// from 1 to 65535), nothing when `device` has another form.
std::optional<uint16_t> ComNumberFromName(const std::string& device);

// The help text, with the program name as given.
std::string UsageText(const std::string& program);
// The --version line.
std::string VersionText();
