#include "CommandLine.h"

#include <optional>

#include "ComName.h"
#include "DspPath.h"

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine command;
  std::optional<std::string> device;
  std::vector<std::string> files;
  bool listPorts = false;
  bool help = false;
  bool version = false;
  bool fast = false;
  bool info = false;
  bool json = false;
  std::optional<std::string> record;
  bool optionsEnded = false;

  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      files.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (argument == "--list-ports") {
      listPorts = true;
    } else if (argument == "--fast") {
      fast = true;
    } else if (argument == "--info") {
      info = true;
    } else if (argument == "--json") {
      json = true;
    } else if (argument == "--record") {
      if (i + 1 >= arguments.size()) return {std::nullopt, "--record needs a file"};
      if (record) return {std::nullopt, "the record is given twice"};
      record = arguments[++i];
    } else if (argument.rfind("--record=", 0) == 0) {
      if (record) return {std::nullopt, "the record is given twice"};
      record = argument.substr(9);
    } else if (argument == "--port" || argument == "-p") {
      if (i + 1 >= arguments.size()) return {std::nullopt, argument + " needs a device"};
      if (device) return {std::nullopt, "the port is given twice"};
      device = arguments[++i];
    } else if (argument.rfind("--port=", 0) == 0) {
      if (device) return {std::nullopt, "the port is given twice"};
      device = argument.substr(7);
    } else {
      return {std::nullopt, "unknown option " + argument};
    }
  }

  if (help) {
    command.action = CommandLine::Action::Help;
    return {command, ""};
  }
  if (version) {
    command.action = CommandLine::Action::Version;
    return {command, ""};
  }
  if (listPorts) {
    if (device || !files.empty() || fast || info || json || record) {
      return {std::nullopt, "--list-ports takes nothing else"};
    }
    command.action = CommandLine::Action::ListPorts;
    return {command, ""};
  }
  if (info) {
    if (device || fast || record) return {std::nullopt, "--info takes a file and --json only"};
    if (files.size() != 1 || files[0].empty()) return {std::nullopt, "--info needs one file"};
    command.action = CommandLine::Action::Info;
    command.imagePath = files[0];
    command.json = json;
    return {command, ""};
  }
  if (record && record->empty()) return {std::nullopt, "the record's file name is empty"};
  if (!device || device->empty()) return {std::nullopt, "no port given (--port DEVICE)"};
  if (files.empty()) return {std::nullopt, "no image file given"};
  if (files.size() > 1) return {std::nullopt, "one image file at a time"};
  if (files[0].empty()) return {std::nullopt, "the image file name is empty"};
  if (fast && !IsDspPath(files[0])) {
    return {std::nullopt, "--fast is for .DSP files only; a ZARN image has no fast transfer"};
  }

  command.action = CommandLine::Action::Upload;
  if (const std::optional<uint16_t> number = ComNumberFromName(*device)) {
    command.comNumber = *number;
  } else if (HasComNameForm(*device)) {
    return {std::nullopt, "COM<n> needs a port number from " + std::to_string(kLowestComNumber) +
                              " to " + std::to_string(kHighestComNumber) + ", e.g. COM31"};
  } else {
    command.devicePath = *device;
  }
  command.imagePath = files[0];
  command.fast = fast;
  command.json = json;
  command.recordPath = record.value_or("");
  return {command, ""};
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program +
         " --port DEVICE FILE\n"
         "       " +
         program +
         " --port DEVICE --fast FILE.DSP\n"
         "       " +
         program +
         " --port DEVICE [--json] [--record RECORD.csv] FILE\n"
         "       " +
         program +
         " --info [--json] FILE\n"
         "       " +
         program +
         " --list-ports\n"
         "\n"
         "Uploads FILE into the STB on the serial port DEVICE, without the window.\n"
         "DEVICE is a device path (/dev/ttyUSB0, a pseudo-terminal) or COM<n> as the\n"
         "port dialog lists it (also \\\\.\\COM<n>). A file whose name ends in .DSP\n"
         "goes with the block transfer, every other file with the ZARN command-word\n"
         "protocol.\n"
         "\n"
         "  -p, --port DEVICE  the serial port (115200 8N1, DTR and RTS low)\n"
         "      --fast         .DSP files only: the fast transfer. Each block goes as\n"
         "                     soon as the STB has acknowledged the last one (its\n"
         "                     answer is awaited up to 10 s) instead of after a fixed\n"
         "                     200 ms pause: near the line's full speed, and an STB\n"
         "                     that answers late still gets the file. Do not use it\n"
         "                     with an STB that relies on the 200 ms pause after each\n"
         "                     block (to write it away): it would lose blocks. A\n"
         "                     ZARN image with --fast is refused (exit status 2).\n"
         "      --json         standard output carries one JSON object per line and\n"
         "                     nothing else: start, log, progress, box and end events\n"
         "                     (see the README for the schema)\n"
         "      --record FILE  append one CSV row for the upload to FILE (created with\n"
         "                     its header row when new; safe for several programs at once)\n"
         "      --info         show what FILE is and how it would go, without a port:\n"
         "                     protocol, header fields, packets or blocks, CRC-32,\n"
         "                     SHA-256 and the least time at 115200 bps. Exit 0 when\n"
         "                     Send would start, 1 when it would refuse the file\n"
         "      --list-ports   list the ports the port dialog would offer\n"
         "  -h, --help         show this text\n"
         "      --version      show the version\n"
         "\n"
         "The status log goes to standard output, one line at a time; message boxes go\n"
         "to standard error as \"<title>: <text>\". On a terminal, standard error also\n"
         "shows a progress bar. The first Ctrl-C stops the upload as Disconnect does;\n"
         "a second one quits at once.\n"
         "\n"
         "Exit status:\n"
         "  0  the STB confirmed the upload: it reported the flash written (FlashOk),\n"
         "     or it acknowledged the closing block of a .DSP file\n"
         "  1  the upload ended early (a failure, a time-out, a stop, a lost line), or\n"
         "     the STB reported that writing its flash failed (FlashErr)\n"
         "  2  usage errors, and when the port or the file cannot be opened\n"
         "  3  the upload reached its end, but the STB did not confirm it: a restart\n"
         "     greeting or 'C' in place of FlashOk, no recognizable final word, or a\n"
         "     closing block sent 60 times without an acknowledgement\n";
}

std::string VersionText() { return "zarn-upload (ZARN Multi-Loader V1.20)\n"; }
