#include "StationTable.h"

#include <QDateTime>
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "ProgressBar.h"

namespace {

constexpr int kPortColumn = 14;
constexpr int kStateColumn = 16;
constexpr int kBarWidth = 24;

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text + " ";
}

std::string TimeOfDay(std::chrono::system_clock::time_point at) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss").toStdString();
}

std::string LastUnit(const PortView& view) {
  if (!view.hasResult) return "";
  return view.lastPassed ? "last PASS" : "last FAIL: " + view.failure;
}

}  // namespace

std::string PortLine(const PortView& view) {
  std::string detail;
  switch (view.state) {
    case PortState::Uploading:
      detail =
          RenderProgressBar(0, static_cast<int>(std::min<int64_t>(view.total, INT32_MAX)),
                            static_cast<int>(std::min<int64_t>(view.done, INT32_MAX)), kBarWidth);
      break;
    case PortState::Fail: detail = view.failure; break;
    case PortState::Waiting: detail = view.line; break;
    case PortState::AdapterGone: detail = view.line; break;
    default: detail = LastUnit(view); break;
  }
  std::string line = Padded(view.port, kPortColumn) + Padded(StateText(view.state), kStateColumn);
  line += "units " + std::to_string(view.passed + view.failed);
  if (view.hasResult) line += " at " + TimeOfDay(view.lastEnd);
  if (!detail.empty()) line += "  " + detail;
  return line;
}

std::vector<std::string> StationTableLines(const std::string& image,
                                           const std::vector<PortView>& views,
                                           const StationTotals& totals) {
  std::vector<std::string> lines;
  lines.push_back("zarn-station: " + image);
  for (const PortView& view : views) lines.push_back(PortLine(view));
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", totals.unitsPerHour);
  lines.push_back("passed " + std::to_string(totals.passed) + "  failed " +
                  std::to_string(totals.failed) + "  units/hour " + rate);
  return lines;
}
