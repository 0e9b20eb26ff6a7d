#include "ChildEvent.h"

#include <cmath>
#include <optional>

#include "Json.h"

namespace {

const std::string* Text(const JsonValue& object, std::string_view key) {
  const JsonValue* value = object.Find(key);
  return value != nullptr && value->kind == JsonValue::Kind::String ? &value->text : nullptr;
}

std::optional<double> Number(const JsonValue& object, std::string_view key) {
  const JsonValue* value = object.Find(key);
  if (value == nullptr || value->kind != JsonValue::Kind::Number) return std::nullopt;
  return value->number;
}

// A whole number that fits an int64_t.
std::optional<int64_t> Integer(const JsonValue& object, std::string_view key) {
  const std::optional<double> number = Number(object, key);
  if (!number || std::trunc(*number) != *number || std::fabs(*number) > 9.0e15) {
    return std::nullopt;
  }
  return static_cast<int64_t>(*number);
}

bool ReadStart(const JsonValue& object, ChildEvent& event) {
  const std::string* port = Text(object, "port");
  const std::string* file = Text(object, "file");
  const std::string* crc = Text(object, "crc32");
  const std::optional<int64_t> size = Integer(object, "size");
  if (!port || !file || !crc || !size) return false;
  event.port = *port;
  event.file = *file;
  event.crc32 = *crc;
  event.size = *size;
  return true;
}

bool ReadProgress(const JsonValue& object, ChildEvent& event) {
  const std::optional<int64_t> done = Integer(object, "done");
  const std::optional<int64_t> total = Integer(object, "total");
  if (!done || !total || *done < 0 || *total < 0) return false;
  event.done = *done;
  event.total = *total;
  return true;
}

bool ReadEnd(const JsonValue& object, ChildEvent& event) {
  const std::optional<int64_t> status = Integer(object, "exitStatus");
  const std::string* result = Text(object, "result");
  const std::optional<double> seconds = Number(object, "seconds");
  const std::optional<int64_t> bytes = Integer(object, "bytesSent");
  if (!status || !result || !seconds || !bytes) return false;
  if (*result != "confirmed" && *result != "failed" && *result != "flash error" &&
      *result != "unconfirmed") {
    return false;
  }
  event.exitStatus = static_cast<int>(*status);
  event.result = *result;
  event.seconds = *seconds;
  event.bytesSent = *bytes;
  return true;
}

bool Read(const JsonValue& object, ChildEvent& event) {
  const std::string* kind = Text(object, "event");
  if (kind == nullptr) return false;
  if (*kind == "start") {
    event.kind = ChildEvent::Kind::Start;
    return ReadStart(object, event);
  }
  if (*kind == "log") {
    const std::string* line = Text(object, "line");
    if (line == nullptr) return false;
    event.kind = ChildEvent::Kind::Log;
    event.line = *line;
    return true;
  }
  if (*kind == "progress") {
    event.kind = ChildEvent::Kind::Progress;
    return ReadProgress(object, event);
  }
  if (*kind == "box") {
    const std::string* title = Text(object, "title");
    const std::string* text = Text(object, "text");
    if (!title || !text) return false;
    event.kind = ChildEvent::Kind::Box;
    event.title = *title;
    event.text = *text;
    return true;
  }
  if (*kind == "end") {
    event.kind = ChildEvent::Kind::End;
    return ReadEnd(object, event);
  }
  return false;
}

}  // namespace

ChildEvent ParseChildEvent(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::optional<JsonValue> value = ParseJson(line);
  ChildEvent event;
  if (value && value->kind == JsonValue::Kind::Object && Read(*value, event)) return event;
  ChildEvent unreadable;
  unreadable.line = std::string(line);
  return unreadable;
}
