#include "ComName.h"

namespace {

constexpr std::string_view kComWord = "COM";

std::string_view WithoutDevicePrefix(std::string_view name) {
  if (name.substr(0, kComDevicePrefix.size()) == kComDevicePrefix) {
    name.remove_prefix(kComDevicePrefix.size());
  }
  return name;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool HasComNameForm(std::string_view name) {
  name = WithoutDevicePrefix(name);
  if (name.size() <= kComWord.size()) return false;
  for (size_t i = 0; i < kComWord.size(); ++i) {
    if (UpperAscii(name[i]) != kComWord[i]) return false;
  }
  for (size_t i = kComWord.size(); i < name.size(); ++i) {
    if (!IsDigit(name[i])) return false;
  }
  return true;
}

std::optional<uint16_t> ComNumberFromName(std::string_view name) {
  if (!HasComNameForm(name)) return std::nullopt;
  const std::string_view digits = WithoutDevicePrefix(name).substr(kComWord.size());
  unsigned number = 0;
  for (char c : digits) {
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > kHighestComNumber) return std::nullopt;
  }
  if (number < kLowestComNumber) return std::nullopt;
  return static_cast<uint16_t>(number);
}

std::string ComNameFor(uint16_t number) { return "COM" + std::to_string(number); }
