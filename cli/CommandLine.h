// What zarn-upload was asked to do, read from its arguments.
//
// Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  enum class Action { Upload, Info, ListPorts, Help, Version };
  Action action = Action::Help;
  // Upload: the port, either a device path or a port number from "COM<n>"
  // (ComName.h).
  std::string devicePath;
  uint16_t comNumber = 0;
  // Upload and Info: the file.
  std::string imagePath;
  // Upload of a .DSP file with the fast transfer (DspPacing::AckDriven). The
  // parser refuses it for any other file rather than ignore it: the user
  // asked for something the ZARN protocol does not have.
  bool fast = false;
  // Upload and Info: standard output carries JSON (one object a line) and
  // nothing else.
  bool json = false;
  // Upload: the CSV record that gets one row for the upload ("" for none).
  std::string recordPath;
};

struct ParsedCommandLine {
  std::optional<CommandLine> command;  // nothing on a usage error
  std::string error;                   // what was wrong, for the usage message
};

// Reads the arguments that follow the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The help text, with the program name as given.
std::string UsageText(const std::string& program);
// The --version line.
std::string VersionText();
