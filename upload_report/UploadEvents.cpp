#include "UploadEvents.h"

#include "Json.h"

namespace {

// Seconds in the events: milliseconds are what a script can use.
constexpr int kSecondsDecimals = 3;

}  // namespace

std::string StartEvent(const UploadStart& start) {
  return JsonObject()
      .Add("event", "start")
      .Add("port", start.port)
      .Add("file", start.file)
      .Add("protocol", ProtocolName(start.protocol))
      .Add("fast", start.fast)
      .Add("size", start.size)
      .Add("crc32", Crc32Text(start.crc32))
      .Text();
}

std::string LogEvent(const std::string& line) {
  return JsonObject().Add("event", "log").Add("line", line).Text();
}

std::string ProgressEvent(int64_t done, int64_t total) {
  return JsonObject().Add("event", "progress").Add("done", done).Add("total", total).Text();
}

std::string BoxEvent(const std::string& title, const std::string& text) {
  return JsonObject().Add("event", "box").Add("title", title).Add("text", text).Text();
}

std::string EndEvent(const UploadSummary& summary) {
  return JsonObject()
      .Add("event", "end")
      .Add("exitStatus", summary.exitStatus)
      .Add("result", ResultText(summary.result))
      .AddFixed("seconds", summary.seconds, kSecondsDecimals)
      .Add("bytesSent", summary.bytesSent)
      .Text();
}

std::string InfoObject(const ImageInfo& info) {
  JsonObject object;
  object.Add("file", info.path).Add("protocol", ProtocolName(info.protocol));
  object.Add("admitted", info.Sendable());
  if (!info.admission.Admitted()) {
    object.Add("refusal", info.admission.refusal);
    if (info.admission.length >= 0) object.Add("size", info.admission.length);
    return object.Text();
  }
  object.Add("size", info.admission.length);
  if (!info.readError.empty()) return object.Add("readError", info.readError).Text();
  if (info.protocol == UploadProtocol::Zarn) {
    object.Add("bodySize", info.headerBodySize)
        .Add("bodySizeMatches", info.BodySizeMatches())
        .Add("bodySent", info.bodyLength)
        .Add("nameTag", info.nameTag);
    if (info.typeCode) {
      object.Add("typeCode", int{*info.typeCode});
    } else {
      object.AddNull("typeCode");
    }
    object.Add("packets", info.units);
  } else {
    object.Add("headerName", info.headerName)
        .Add("headerSize", info.headerSizeText)
        .Add("blocks", info.units);
  }
  object.Add("crc32", Crc32Text(info.crc32)).Add("sha256", info.sha256);
  if (info.floorSeconds) {
    object.AddFixed("floorSeconds", *info.floorSeconds, kSecondsDecimals);
  } else {
    object.AddNull("floorSeconds");
  }
  if (!info.failureBox.empty()) object.Add("failure", info.failureBox);
  return object.Text();
}
