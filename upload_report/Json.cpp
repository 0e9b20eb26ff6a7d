#include "Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
// Nesting beyond this is refused rather than followed down the stack.
constexpr int kMaxDepth = 64;

// Length of the valid UTF-8 sequence at `text[i]`, 0 when it is none.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document(std::string* error) {
    JsonValue value;
    SkipSpace();
    bool ok = Value(value, 0);
    SkipSpace();
    if (ok && pos_ != text_.size()) ok = Fail("text after the value");
    if (!ok) {
      if (error != nullptr) *error = error_ + " at offset " + std::to_string(pos_);
      return std::nullopt;
    }
    return value;
  }

 private:
  bool Fail(const char* what) {
    if (error_.empty()) error_ = what;
    return false;
  }
  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }
  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return Fail("unknown word");
    pos_ += word.size();
    return true;
  }

  bool Value(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deeply");
    if (pos_ >= text_.size()) return Fail("value missing");
    switch (text_[pos_]) {
      case '{': return Object(value, depth);
      case '[': return Array(value, depth);
      case '"': value.kind = JsonValue::Kind::String; return String(value.text);
      case 't': value.kind = JsonValue::Kind::Bool, value.boolean = true; return Literal("true");
      case 'f': value.kind = JsonValue::Kind::Bool, value.boolean = false; return Literal("false");
      case 'n': value.kind = JsonValue::Kind::Null; return Literal("null");
      default: return Number(value);
    }
  }

  bool Object(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::Object;
    ++pos_;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == '}') return ++pos_, true;
    for (;;) {
      SkipSpace();
      std::string key;
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("member name expected");
      if (!String(key)) return false;
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != ':') return Fail("':' expected");
      ++pos_;
      SkipSpace();
      JsonValue member;
      if (!Value(member, depth + 1)) return false;
      value.members.emplace_back(std::move(key), std::move(member));
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == '}') return ++pos_, true;
      return Fail("',' or '}' expected");
    }
  }

  bool Array(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::Array;
    ++pos_;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == ']') return ++pos_, true;
    for (;;) {
      SkipSpace();
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      value.items.push_back(std::move(item));
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == ']') return ++pos_, true;
      return Fail("',' or ']' expected");
    }
  }

  bool Hex4(uint32_t& code) {
    if (pos_ + 4 > text_.size()) return Fail("short \\u escape");
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      code <<= 4;
      if (c >= '0' && c <= '9') {
        code |= static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        code |= static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        code |= static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return Fail("bad \\u escape");
      }
    }
    return true;
  }

  bool Escape(std::string& out) {
    if (pos_ >= text_.size()) return Fail("unfinished escape");
    const char c = text_[pos_++];
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': break;
      default: return Fail("unknown escape");
    }
    uint32_t code = 0;
    if (!Hex4(code)) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      uint32_t low = 0;
      if (text_.substr(pos_, 2) != "\\u") return Fail("lone surrogate");
      pos_ += 2;
      if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return Fail("bad surrogate pair");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return Fail("lone surrogate");
    }
    AppendUtf8(out, code);
    return true;
  }

  bool String(std::string& out) {
    ++pos_;  // the opening quote
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '"') return ++pos_, true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      if (c == '\\') {
        ++pos_;
        if (!Escape(out)) return false;
        continue;
      }
      const size_t length = Utf8SequenceLength(text_, pos_);
      if (length == 0) return Fail("invalid UTF-8");
      out.append(text_.substr(pos_, length));
      pos_ += length;
    }
    return Fail("unfinished string");
  }

  bool Number(JsonValue& value) {
    const size_t start = pos_;
    const auto digits = [&] {
      const size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ > from;
    };
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '0') {
      ++pos_;
    } else if (!digits()) {
      return Fail("value expected");
    }
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (!digits()) return Fail("digits expected after '.'");
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digits()) return Fail("digits expected in the exponent");
    }
    value.kind = JsonValue::Kind::Number;
    value.number = std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr);
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (const size_t length = Utf8SequenceLength(text, i); length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += kReplacementCharacter;
      ++i;
    }
  }
  return out + "\"";
}

void JsonObject::Key(std::string_view key) {
  if (!members_.empty()) members_ += ',';
  members_ += JsonQuote(key);
  members_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
  Key(key);
  members_ += JsonQuote(text);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t number) {
  Key(key);
  members_ += std::to_string(number);
  return *this;
}

JsonObject& JsonObject::AddFixed(std::string_view key, double number, int decimals) {
  Key(key);
  if (!std::isfinite(number)) {
    members_ += "null";
    return *this;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, number);
  members_ += text;
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
  Key(key);
  members_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key) {
  Key(key);
  members_ += "null";
  return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
  Key(key);
  members_ += json;
  return *this;
}

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string* error) {
  return Parser(text).Document(error);
}
