// JSON for the machine interface: one object per line out (zarn-upload
// --json, --info --json), and a small reader for the programs and tests that
// take those lines in (the station reads its children's events with it).
//
// Text is UTF-8 both ways. The writer passes valid UTF-8 through, escapes
// quotes, backslashes and control characters, and writes U+FFFD for a byte
// that is no part of valid UTF-8 (a path in a legacy encoding), so every line
// is valid JSON. The reader takes standard JSON (RFC 8259).
//
// Plain values and pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// `text` as a JSON string, quotes included.
std::string JsonQuote(std::string_view text);

// Builds one JSON object, members in the order they are added.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view text);
  JsonObject& Add(std::string_view key, const char* text) {
    return Add(key, std::string_view(text));
  }
  JsonObject& Add(std::string_view key, int64_t number);
  JsonObject& Add(std::string_view key, int number) { return Add(key, int64_t{number}); }
  JsonObject& Add(std::string_view key, uint32_t number) { return Add(key, int64_t{number}); }
  // A number with `decimals` digits after the point.
  JsonObject& AddFixed(std::string_view key, double number, int decimals);
  JsonObject& Add(std::string_view key, bool value);
  JsonObject& AddNull(std::string_view key);
  // `json` must already be a JSON value (a nested object).
  JsonObject& AddRaw(std::string_view key, std::string_view json);

  // The object on one line, without a line break.
  std::string Text() const { return "{" + members_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string members_;
};

// A parsed JSON value.
struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;                                        // String
  std::vector<JsonValue> items;                            // Array
  std::vector<std::pair<std::string, JsonValue>> members;  // Object, in order

  // The member `key` of an object, or null when there is none.
  const JsonValue* Find(std::string_view key) const;
};

// Parses one JSON text (surrounding white space allowed); nothing when it is
// not valid JSON, with `error` saying where.
std::optional<JsonValue> ParseJson(std::string_view text, std::string* error = nullptr);
