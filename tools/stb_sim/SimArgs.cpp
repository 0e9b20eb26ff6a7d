#include "SimArgs.h"

#include <charconv>
#include <map>

#include "ComName.h"

namespace stbsim {

const char* const kSimUsage =
    "Usage: zarn-stb-sim [options]\n"
    "Plays the STB at the far end of a pseudo-terminal. Prints the device to open\n"
    "(\"device: /dev/pts/N\") and its port name (\"port: COM31\").\n"
    "With --com, plays it on a serial port instead, which a null-modem cable or a\n"
    "virtual null-modem pair joins to the tool's port (\"device: COM6\"). Windows\n"
    "has no pseudo-terminals: there --com is required, and --port-dir is refused.\n"
    "\n"
    "  --com PORT               play on serial port PORT: COM1..COM256 (on Linux\n"
    "                           as the tool's port list maps it), or on Linux a\n"
    "                           device path such as /dev/ttyUSB0; 115200 bps 8N1,\n"
    "                           no pacing unless --pace or --baud asks for it\n"
    "  --mode zarn|dsp          side to play (default zarn)\n"
    "  --come-back zarn|dsp     mode after a finished upload (default: the same)\n"
    "  --pace, --no-pace        pace the line or not (default: 115200 bps)\n"
    "  --baud N                 pace at N bits per second\n"
    "  --save FILE              write each received image to FILE (\"saved: FILE\";\n"
    "                           a .DSP file's name first: \"name: NAME\")\n"
    "  --no-link                do not create the COM<n> link\n"
    "  --port-dir DIR           folder of the COM<n> link\n"
    "  --once                   stop answering after one finished upload\n"
    "  --quiet                  print no event lines\n"
    "  --greeting TEXT          ZARN greeting (default KGS), e.g. xKGS or KGX\n"
    "  --greet-interval MS      repeat the greeting while nobody asks (0: once)\n"
    "  --first-greeting-delay MS\n"
    "  --c-interval MS          DSP: interval of the first-contact 'C's\n"
    "  --dsp-pacing fast|paced  DSP: block pacing the STB is built for (default\n"
    "                           fast); a paced STB writes each block away for\n"
    "                           --write-time MS (default 100) after its ACK and\n"
    "                           answers NAK to a block that comes meanwhile\n"
    "  --write-time MS          DSP, paced: see --dsp-pacing\n"
    "  --reply-delay MS         DSP: answer each data block MS after it came\n"
    "  --flash-time MS          ZARN: time between FlashStart and FlashOk\n"
    "  --restart-time MS        pause before greeting again after an upload\n"
    "  --idle-restart MS        give up a stalled upload after MS (0: never)\n"
    "  --accept-word HEX        ZARN: word that accepts a packet (default AB41434B)\n"
    "  --flash-error            ZARN: report FlashErr instead of FlashOk\n"
    "  --vanish-after BYTES     close the line after BYTES from the tool\n"
    "                           (counted from each request or header)\n"
    "  --vanish-at BYTES        take BYTES from the tool in all, then close the\n"
    "                           line when the next byte comes\n"
    "  --reject CHUNK[xTIMES]   ZARN: answer PacketBad to that chunk TIMES times\n"
    "  --nak-block INDEX[xTIMES] DSP: NAK data block INDEX (from 0) TIMES times\n"
    "  --contact-noise COUNT    DSP: send COUNT 'x' bytes before the first 'C'\n"
    "  --fault PHASE[@INDEX]=KIND[:ARG][xTIMES|xforever]\n"
    "      PHASE: greeting request header packet flash-start flash-done\n"
    "             contact dsp-header block eot closing\n"
    "      KIND:  replace:HEX  silent  garbage:HEX  flip[:HEXMASK]  late:MS  vanish\n"
    "             hangup:MS (answer, then close the line MS later)\n"
    "      e.g. --fault packet@2=replace:AB4D4F52x3  --fault dsp-header=replace:43xforever\n";

namespace {

bool ParseInt(const std::string& text, int64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool ParseMode(const std::string& text, SimMode& mode) {
  if (text == "zarn")
    mode = SimMode::Zarn;
  else if (text == "dsp")
    mode = SimMode::Dsp;
  else
    return false;
  return true;
}

// "INDEX[xTIMES]"
bool ParseIndexTimes(const std::string& text, int& index, int& times) {
  const size_t x = text.find('x');
  int64_t value = 0;
  if (!ParseInt(text.substr(0, x), value) || value < 0) return false;
  index = static_cast<int>(value);
  times = 1;
  if (x == std::string::npos) return true;
  const std::string count = text.substr(x + 1);
  if (count == "forever") {
    times = kForever;
    return true;
  }
  if (!ParseInt(count, value) || value < 1) return false;
  times = static_cast<int>(value);
  return true;
}

const std::map<std::string, SimPhase>& Phases() {
  static const std::map<std::string, SimPhase> phases = {
      {"greeting", SimPhase::Greeting},      {"request", SimPhase::RequestReply},
      {"header", SimPhase::HeaderReply},     {"packet", SimPhase::PacketReply},
      {"flash-start", SimPhase::FlashStart}, {"flash-done", SimPhase::FlashDone},
      {"contact", SimPhase::ContactC},       {"dsp-header", SimPhase::DspHeaderReply},
      {"block", SimPhase::BlockReply},       {"eot", SimPhase::EotReply},
      {"closing", SimPhase::ClosingReply},
  };
  return phases;
}

}  // namespace

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto result = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (result.ec != std::errc() || result.ptr != text.data() + i + 2) return false;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return true;
}

bool ParseFault(const std::string& text, Fault& fault, std::string& error) {
  auto fail = [&](const std::string& why) {
    error = "bad --fault \"" + text + "\": " + why;
    return false;
  };
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return fail("no '='");
  std::string phase = text.substr(0, equals);
  std::string kind = text.substr(equals + 1);
  fault = Fault{};
  if (const size_t at = phase.find('@'); at != std::string::npos) {
    int64_t index = 0;
    if (!ParseInt(phase.substr(at + 1), index) || index < 0) return fail("bad index");
    fault.index = static_cast<int>(index);
    phase.resize(at);
  }
  const auto found = Phases().find(phase);
  if (found == Phases().end()) return fail("unknown phase \"" + phase + "\"");
  fault.phase = found->second;
  if (const size_t x = kind.rfind('x'); x != std::string::npos) {
    const std::string count = kind.substr(x + 1);
    int64_t times = 0;
    if (count == "forever")
      fault.times = kForever;
    else if (ParseInt(count, times) && times >= 1)
      fault.times = static_cast<int>(times);
    else
      return fail("bad count \"" + count + "\"");
    kind.resize(x);
  }
  const size_t colon = kind.find(':');
  const std::string name = kind.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : kind.substr(colon + 1);
  const bool hasArg = colon != std::string::npos;
  if (name == "replace") {
    fault.kind = FaultKind::Replace;
    if (!hasArg || !ParseHexBytes(arg, fault.bytes)) return fail("replace needs hex bytes");
  } else if (name == "silent") {
    fault.kind = FaultKind::Replace;
    fault.bytes.clear();
  } else if (name == "garbage") {
    fault.kind = FaultKind::Garbage;
    if (!hasArg || !ParseHexBytes(arg, fault.bytes) || fault.bytes.empty())
      return fail("garbage needs hex bytes");
  } else if (name == "flip") {
    fault.kind = FaultKind::FlipBits;
    std::vector<uint8_t> mask;
    if (hasArg && (!ParseHexBytes(arg, mask) || mask.size() != 1))
      return fail("flip takes one hex byte");
    if (hasArg) fault.flipMask = mask[0];
  } else if (name == "late") {
    fault.kind = FaultKind::Late;
    int64_t ms = 0;
    if (!hasArg || !ParseInt(arg, ms) || ms < 0) return fail("late needs milliseconds");
    fault.delay = std::chrono::milliseconds(ms);
  } else if (name == "vanish") {
    fault.kind = FaultKind::Vanish;
  } else if (name == "hangup") {
    fault.kind = FaultKind::HangUpAfterAnswer;
    int64_t ms = 0;
    if (!hasArg || !ParseInt(arg, ms) || ms < 0) return fail("hangup needs milliseconds");
    fault.delay = std::chrono::milliseconds(ms);
  } else {
    return fail("unknown kind \"" + name + "\"");
  }
  return true;
}

SimCommand ParseSimArgs(const std::vector<std::string>& args, SimLineKinds kinds) {
  SimCommand command;
  SimOptions& options = command.options;
  options.pace = true;
  options.makePortLink = true;
  options.loop = true;

  auto fail = [&](const std::string& why) {
    command.error = why;
    return command;
  };
  bool paceGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto milliseconds = [&](std::chrono::milliseconds& out) {
      std::string text;
      int64_t ms = 0;
      if (!value(text) || !ParseInt(text, ms) || ms < 0) return false;
      out = std::chrono::milliseconds(ms);
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      command.help = true;
    } else if (arg == "--mode") {
      if (!value(text) || !ParseMode(text, options.mode)) return fail("--mode takes zarn or dsp");
    } else if (arg == "--come-back") {
      SimMode mode;
      if (!value(text) || !ParseMode(text, mode)) return fail("--come-back takes zarn or dsp");
      options.comeBackIn = mode;
    } else if (arg == "--com") {
      if (!value(text) || text.empty()) return fail("--com takes a port such as COM6");
      if (HasComNameForm(text)) {
        const std::optional<uint16_t> number = ComNumberFromName(text);
        if (!number) return fail("--com " + text + ": ports are COM1 to COM256");
        options.device = ComNameFor(*number);
      } else if (kinds.devicePath) {
        options.device = text;
      } else {
        return fail("--com takes a port such as COM6, not \"" + text + "\"");
      }
    } else if (arg == "--pace") {
      options.pace = true;
      paceGiven = true;
    } else if (arg == "--no-pace") {
      options.pace = false;
      paceGiven = true;
    } else if (arg == "--baud") {
      paceGiven = true;
      int64_t baud = 0;
      if (!value(text) || !ParseInt(text, baud) || baud < 50 || baud > 4'000'000)
        return fail("--baud takes 50 to 4000000");
      options.baud = static_cast<int>(baud);
    } else if (arg == "--save") {
      if (!value(command.savePath)) return fail("--save takes a file");
    } else if (arg == "--no-link") {
      options.makePortLink = false;
    } else if (arg == "--port-dir") {
      if (!value(options.portDir)) return fail("--port-dir takes a folder");
    } else if (arg == "--once") {
      options.loop = false;
    } else if (arg == "--quiet") {
      command.quiet = true;
    } else if (arg == "--greeting") {
      if (!value(text)) return fail("--greeting takes a text");
      options.greeting.assign(text.begin(), text.end());
    } else if (arg == "--greet-interval") {
      if (!milliseconds(options.greetInterval)) return fail("--greet-interval takes milliseconds");
    } else if (arg == "--first-greeting-delay") {
      if (!milliseconds(options.firstGreetingDelay))
        return fail("--first-greeting-delay takes milliseconds");
    } else if (arg == "--c-interval") {
      if (!milliseconds(options.cInterval)) return fail("--c-interval takes milliseconds");
    } else if (arg == "--dsp-pacing") {
      if (!value(text) || (text != "fast" && text != "paced"))
        return fail("--dsp-pacing takes fast or paced");
      options.dspPacing = text == "fast" ? SimDspPacing::Fast : SimDspPacing::Paced;
    } else if (arg == "--write-time") {
      if (!milliseconds(options.pacedWriteTime)) return fail("--write-time takes milliseconds");
    } else if (arg == "--reply-delay") {
      if (!milliseconds(options.blockReplyDelay)) return fail("--reply-delay takes milliseconds");
    } else if (arg == "--flash-time") {
      if (!milliseconds(options.flashTime)) return fail("--flash-time takes milliseconds");
    } else if (arg == "--restart-time") {
      if (!milliseconds(options.restartTime)) return fail("--restart-time takes milliseconds");
    } else if (arg == "--idle-restart") {
      if (!milliseconds(options.idleRestart)) return fail("--idle-restart takes milliseconds");
    } else if (arg == "--accept-word") {
      if (!value(text) || !ParseHexBytes(text, options.acceptWord) ||
          options.acceptWord.size() != 4)
        return fail("--accept-word takes 4 hex bytes");
    } else if (arg == "--flash-error") {
      options.flashError = true;
    } else if (arg == "--vanish-after") {
      if (!value(text) || !ParseInt(text, options.vanishAfterBytes) || options.vanishAfterBytes < 0)
        return fail("--vanish-after takes a byte count");
    } else if (arg == "--vanish-at") {
      if (!value(text) || !ParseInt(text, options.vanishAtByte) || options.vanishAtByte < 0)
        return fail("--vanish-at takes a byte count");
    } else if (arg == "--reject" || arg == "--nak-block") {
      Fault fault;
      if (!value(text) || !ParseIndexTimes(text, fault.index, fault.times))
        return fail(arg + " takes INDEX[xTIMES]");
      fault.kind = FaultKind::Replace;
      if (arg == "--reject") {
        fault.phase = SimPhase::PacketReply;
        fault.bytes = {0xAB, 0x4D, 0x4F, 0x52};
      } else {
        fault.phase = SimPhase::BlockReply;
        fault.bytes = {0x15};
      }
      options.faults.push_back(fault);
    } else if (arg == "--contact-noise") {
      int64_t count = 0;
      if (!value(text) || !ParseInt(text, count) || count < 1)
        return fail("--contact-noise takes a count");
      options.faults.push_back({SimPhase::ContactC,
                                kAnyIndex,
                                FaultKind::Replace,
                                {'x'},
                                0x01,
                                std::chrono::milliseconds(0),
                                static_cast<int>(count)});
    } else if (arg == "--fault") {
      Fault fault;
      std::string error;
      if (!value(text)) return fail("--fault takes PHASE[@INDEX]=KIND[:ARG][xTIMES]");
      if (!ParseFault(text, fault, error)) return fail(error);
      options.faults.push_back(fault);
    } else {
      return fail("unknown option \"" + arg + "\"");
    }
  }
  if (!options.device.empty()) {
    if (!options.portDir.empty())
      return fail("--port-dir is the folder of a pseudo-terminal's link; --com needs none");
    // The system names the port already, so no link; a real line paces itself.
    options.makePortLink = false;
    if (!paceGiven) options.pace = false;
  } else if (!kinds.pseudoTerminal) {
    return fail("this system has no pseudo-terminals: name the STB's serial port with --com COMn");
  }
  return command;
}

}  // namespace stbsim
