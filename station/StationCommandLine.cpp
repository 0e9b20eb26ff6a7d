#include "StationCommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "DspPath.h"

namespace {

// The re-arm time a command line may ask for, in milliseconds.
constexpr long kLongestRearmQuietMs = 600000;

bool IsProfilePath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string suffix = path.substr(path.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".ini";
}

}  // namespace

ParsedStationCommand ParseStationCommandLine(const std::vector<std::string>& arguments) {
  StationCommand command;
  StationConfig& config = command.config;
  std::vector<std::string> files;
  bool recordGiven = false;
  bool settingGiven = false;  // an option that a profile would hold
  const auto fail = [](std::string why) { return ParsedStationCommand{std::nullopt, why}; };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= arguments.size()) return false;
      out = arguments[++i];
      return true;
    };
    std::string text;
    if (argument == "--help" || argument == "-h") {
      command.help = true;
    } else if (argument == "--console") {
      command.console = true;
    } else if (argument == "--loop") {
      config.loop = true;
      settingGiven = true;
    } else if (argument == "--fast") {
      config.fast = true;
      settingGiven = true;
    } else if (argument == "--record") {
      if (!value(text) || text.empty()) return fail("--record needs a file");
      if (recordGiven) return fail("the record is given twice");
      recordGiven = settingGiven = true;
      config.recordPath = text;
    } else if (argument == "--port" || argument == "-p") {
      if (!value(text) || text.empty()) return fail(argument + " needs a device");
      if (std::find(config.ports.begin(), config.ports.end(), text) != config.ports.end()) {
        return fail("the port " + text + " is given twice");
      }
      config.ports.push_back(text);
    } else if (argument == "--rearm-quiet") {
      long ms = 0;
      const bool read = value(text);
      const auto parsed = std::from_chars(text.data(), text.data() + text.size(), ms);
      if (!read || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || ms < 1 ||
          ms > kLongestRearmQuietMs) {
        return fail("--rearm-quiet takes milliseconds from 1 to " +
                    std::to_string(kLongestRearmQuietMs));
      }
      config.rearmQuiet = std::chrono::milliseconds(ms);
      settingGiven = true;
    } else if (argument == "--upload-program") {
      if (!value(text) || text.empty()) return fail("--upload-program needs a file");
      config.uploadProgram = text;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return fail("unknown option " + argument);
    } else {
      files.push_back(argument);
    }
  }
  if (command.help) return {command, ""};
  if (files.size() == 1 && IsProfilePath(files[0])) {
    if (settingGiven || !config.ports.empty()) {
      return fail("a profile holds the station's settings: give it alone");
    }
    command.profilePath = files[0];
    return {command, ""};
  }
  if (config.ports.empty()) return fail("no port given (--port DEVICE, once per port)");
  if (files.empty()) return fail("no image file given");
  if (files.size() > 1) return fail("one image file for all ports");
  if (files[0].empty()) return fail("the image file name is empty");
  if (config.fast && !IsDspPath(files[0])) {
    return fail("--fast is for .DSP files only; a ZARN image has no fast transfer");
  }
  config.imagePath = files[0];
  return {command, ""};
}

std::string StationUsageText(const std::string& program) {
  return "Usage: " + program +
         " [--console] [--loop] [--fast] [--record RECORD.csv] --port P [--port Q ...] FILE\n"
         "       " +
         program +
         " [--console] PROFILE.ini\n"
         "\n"
         "Flashes FILE into one STB on each port at once, each upload a zarn-upload\n"
         "process of its own, and shows the ports in the station window (with --console:\n"
         "a live table in the terminal).\n"
         "\n"
         "  --console            run in the terminal, without the window\n"
         "  -p, --port DEVICE    a serial port (as zarn-upload takes it); repeat per port\n"
         "  --loop               after each unit wait for the next one, until Ctrl-C;\n"
         "                       a port's number and Enter on the console says its next\n"
         "                       unit is in place (not read on Windows yet: there the\n"
         "                       quiet line alone re-arms a port)\n"
         "  --fast               .DSP files only: the fast transfer\n"
         "  --record FILE        append one row per upload to FILE (as zarn-upload does)\n"
         "  --rearm-quiet MS     loop mode: how long the line must be quiet after a unit\n"
         "                       before the port listens for the next one (default 3000)\n"
         "  --upload-program P   the zarn-upload to run (default: the one beside this\n"
         "                       program)\n"
         "  -h, --help           show this text\n"
         "\n"
         "PROFILE.ini holds the settings in its [station] group: image, ports (a list),\n"
         "fast, record, loop, rearmQuietMs, locked (the window hides all but Start, Stop and\n"
         "the ports); relative paths are relative to its folder.\n"
         "\n"
         "Exit status without --loop: 0 when every port's STB confirmed its upload, 1\n"
         "otherwise, 2 on usage errors. With --loop: 0 when no unit failed, else 1.\n"
         "Ctrl-C stops every upload as Ctrl-C stops zarn-upload.\n";
}
