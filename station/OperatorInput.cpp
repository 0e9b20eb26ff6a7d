#include "OperatorInput.h"

#include <charconv>

std::optional<size_t> PortIndexFromLine(std::string_view line, size_t portCount) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  size_t number = 0;
  const auto read = std::from_chars(line.data(), line.data() + line.size(), number);
  if (line.empty() || read.ec != std::errc() || read.ptr != line.data() + line.size()) {
    return std::nullopt;
  }
  if (number < 1 || number > portCount) return std::nullopt;
  return number - 1;
}
