#include "InfoText.h"

#include <cstdio>

#include "UploadStory.h"

namespace {

// Labels and values line up in two columns.
constexpr int kLabelWidth = 13;

std::string Line(const std::string& label, const std::string& value) {
  std::string line = label + ":";
  line.resize(static_cast<size_t>(kLabelWidth), ' ');
  return line + value;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

std::string TypeCode(uint8_t code) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", code);
  return text;
}

void AddZarnLines(const ImageInfo& info, std::vector<std::string>& lines) {
  std::string bodySize = std::to_string(info.headerBodySize);
  if (info.BodySizeMatches()) {
    bodySize += ", matches the file";
  } else {
    bodySize += ", but the body holds " + std::to_string(info.bodyLength) +
                " bytes: " + std::to_string(info.bodyLength) + " would be sent";
  }
  lines.push_back(Line("BodySize", bodySize));
  if (info.typeCode) {
    lines.push_back(
        Line("NameTag", "\"" + info.nameTag + "\", type code " + TypeCode(*info.typeCode)));
  } else {
    lines.push_back(Line("NameTag", "\"" + info.nameTag +
                                        "\" selects no type code: the upload would fail with \"" +
                                        info.failureBox + "\" (File Error)"));
  }
  lines.push_back(Line("Packets", std::to_string(info.units)));
}

void AddDspLines(const ImageInfo& info, std::vector<std::string>& lines) {
  lines.push_back(Line("Header name", info.headerName));
  lines.push_back(Line("Header size", info.headerSizeText));
  lines.push_back(Line("Blocks", std::to_string(info.units)));
}

}  // namespace

std::vector<std::string> InfoLines(const ImageInfo& info) {
  std::vector<std::string> lines;
  lines.push_back(Line("File", info.path));
  lines.push_back(Line("Protocol", ProtocolName(info.protocol)));
  if (!info.admission.Admitted()) {
    lines.push_back(Line("Refused", "File Error: " + info.admission.refusal));
    return lines;
  }
  lines.push_back(Line("Size", std::to_string(info.admission.length) + " bytes"));
  if (!info.readError.empty()) {
    lines.push_back(Line("Unreadable", info.readError));
    return lines;
  }
  if (info.protocol == UploadProtocol::Zarn) {
    AddZarnLines(info, lines);
  } else {
    AddDspLines(info, lines);
  }
  lines.push_back(Line("CRC-32", Crc32Text(info.crc32)));
  lines.push_back(Line("SHA-256", info.sha256));
  if (info.floorSeconds) {
    const char* stretch = info.protocol == UploadProtocol::Zarn
                              ? " at 115200 bps, from the request to the end"
                              : " at 115200 bps, from first contact to the end";
    lines.push_back(Line("Least time", Seconds(*info.floorSeconds) + stretch));
  }
  return lines;
}
