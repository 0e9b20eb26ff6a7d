// The command line of zarn-stb-sim, turned into simulator options.
//
// Pure functions; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "SimLine.h"
#include "SimOptions.h"

namespace stbsim {

struct SimCommand {
  SimOptions options;
  std::string savePath;  // --save: each finished upload's image goes here
  bool quiet = false;    // --quiet: no event lines
  bool help = false;
  std::string error;  // not empty: the arguments were wrong; this says why
};

// The executable's defaults differ from the in-process ones: it paces the
// line, creates the port link and loops. On a serial device (--com) it makes
// no link and paces only when asked to. `kinds` says which lines the system
// can open: without pseudo-terminals, --com is required.
SimCommand ParseSimArgs(const std::vector<std::string>& args,
                        SimLineKinds kinds = SystemSimLineKinds());

// A --fault value: PHASE[@INDEX]=KIND[:ARG][xTIMES|xforever]. Returns false
// and sets `error` when it is malformed.
bool ParseFault(const std::string& text, Fault& fault, std::string& error);

// "AB4D4F52" -> {0xAB, 0x4D, 0x4F, 0x52}; false on an odd length or a non-hex digit.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes);

extern const char* const kSimUsage;

}  // namespace stbsim
