// What every session must hold, whatever the STB did.
#include <regex>
#include <set>
#include <string>

#include "Session.h"
#include "ZarnWords.h"

namespace campaign {

namespace {

const std::set<std::string> kZarnLines = {"Waiting for STB...",
                                          "Timeout!!!",
                                          "Level 2: Timeout!!!",
                                          "Initializing Upload task...",
                                          "Bad STB response! Aborting...",
                                          "Too many errors!!! Aborting...",
                                          "Level 3: Timeout!!!",
                                          "Writing to FLASH, please wait...",
                                          "Level 4: Timeout!!!",
                                          "Writing to FLASH [OK], restarting...",
                                          "Writing to FLASH [ERR], restarting...",
                                          "STB restarted in ZARN mode!!!",
                                          "STB restarted in Orvane mode!!!"};
const std::set<std::string> kDspLines = {"Waiting for STB...",      "Timeout!!!",
                                         "Timeout 2 !!!",           "connection established!!!",
                                         "Header transf. error!!!", "Transf. disabled!!!",
                                         "Transf. time expired!!!", "Memory error!!!",
                                         "Trasf. error!!!",         "Trasf. disabled!!!",
                                         "Trasf. time expired!!!",  "Trasf. file hr error!!!"};
const std::set<std::pair<std::string, std::string>> kZarnBoxes = {
    {"Uknown file!!!", "File Error"},
    {"Bad STB response! Aborting ...", "Error"},
    {"STB rejected file type!!!", "Communication Error"},
    {"Communication error!!!", "Error"},
    {"Initialisation error", "Error!"},
    {"Communication error", "Error!"},
    {"TimeOut waiting for STB!", "Error!"}};
const std::set<std::pair<std::string, std::string>> kDspBoxes = {
    {"Problem reading from file.", "File Error"}};

const char* EndName(TaskEnd end) {
  switch (end) {
    case TaskEnd::Early: return "ended early";
    case TaskEnd::Unconfirmed: return "unconfirmed";
    case TaskEnd::Confirmed: return "confirmed";
    case TaskEnd::FlashError: return "flash error";
  }
  return "?";
}

std::string NameWithoutDirectory(const std::string& name) {
  const auto slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

std::vector<std::string> Violations(const SessionPlan& plan, const SessionResult& result) {
  std::vector<std::string> v;
  const bool dsp = plan.sim.mode == stbsim::SimMode::Dsp;
  const std::string termination = dsp ? "Download task terminated!!!" : "Upload task terminated!!!";
  static const std::regex kZarnPacket(R"(Data packet  \d{3,}  \.\.\.\.\.\.\.\.\.\.\. (OK|BAD!))");
  static const std::regex kDspPacket(R"(Packet \d+/\d+ OK, sent \d+Bytes)");

  if (!result.end) v.push_back("the host was never told how the task ended");
  if (result.log.empty() || result.log.back() != termination) {
    v.push_back("the termination line is not the last line");
  }
  for (size_t i = 0; i < result.log.size(); ++i) {
    const std::string& line = result.log[i];
    if (line == termination) {
      if (i + 1 != result.log.size()) v.push_back("a termination line before the end");
      continue;
    }
    // The fast transfer names itself once, right after the connection.
    const bool modeLine = dsp && plan.pacing == DspPacing::AckDriven && line == "Fast transfer" &&
                          i > 0 && result.log[i - 1] == "connection established!!!";
    const bool known = dsp ? kDspLines.count(line) || std::regex_match(line, kDspPacket) || modeLine
                           : kZarnLines.count(line) || std::regex_match(line, kZarnPacket);
    if (!known) v.push_back("a line the protocol does not define: \"" + line + "\"");
  }
  for (const Box& box : result.boxes) {
    const bool known = dsp ? kDspBoxes.count({box.text, box.title}) != 0
                           : kZarnBoxes.count({box.text, box.title}) != 0;
    if (!known)
      v.push_back("a box the protocol does not define: \"" + box.text + "\" / \"" + box.title +
                  "\"");
  }
  if (result.boxes.size() > 1) v.push_back("more than one box");
  if (result.fileLeftOpen) v.push_back("the image file was left open");
  if (!result.progressInRange) v.push_back("the progress bar left its range");

  if (!result.end) return v;
  const TaskEnd end = *result.end;
  if (end != TaskEnd::Early && !result.boxes.empty())
    v.push_back("a box, yet the task reached its finish");
  if (result.portClosedUnderTask && end != TaskEnd::Early) {
    v.push_back("the port was closed under the task, yet it reached its finish");
  }
  if (end == TaskEnd::FlashError) {
    bool logged = false;
    for (const std::string& line : result.log)
      logged = logged || line == "Writing to FLASH [ERR], restarting...";
    if (!logged) v.push_back("a flash error without its line");
  }
  if (end != TaskEnd::Confirmed || plan.confirmationForged) return v;

  // Confirmed: the STB must have completed its side and hold exactly the file.
  if (result.stb.uploads.empty()) {
    v.push_back("confirmed, but the STB saw no upload");
    return v;
  }
  const stbsim::UploadRecord& upload = result.stb.uploads.back();
  if (!upload.finished) v.push_back("confirmed, but the STB did not complete its side");
  if (dsp) {
    if (upload.dspFile != plan.file) v.push_back("confirmed, but the STB holds another file");
    if (upload.dspName != NameWithoutDirectory(plan.fileName))
      v.push_back("confirmed, but under another name");
    if (upload.dspSize != static_cast<int64_t>(plan.file.size()))
      v.push_back("confirmed, but with another size");
  } else {
    if (!upload.flashOk) v.push_back("confirmed, but the STB did not write its flash");
    std::vector<uint8_t> expected = plan.file;
    const uint32_t body = static_cast<uint32_t>(plan.file.size() - zarn::kHeaderSize);
    for (size_t i = 0; i < 4; ++i)
      expected[zarn::kBodySizeOffset + i] = static_cast<uint8_t>(body >> (24 - 8 * i));
    if (upload.Image() != expected) v.push_back("confirmed, but the STB holds another image");
  }
  for (std::string& text : v) text += std::string(" (") + EndName(end) + ")";
  return v;
}

}  // namespace campaign
