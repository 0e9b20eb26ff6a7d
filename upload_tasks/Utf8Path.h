// A UTF-8 path as a std::filesystem::path. Built from a plain std::string, a
// path takes the bytes in the C library's narrow encoding, which on Windows
// is the ANSI code page: "Прошивка.zarn" would name another file or none.
// Built from char8_t text it is UTF-8 on every system (on POSIX the bytes
// pass as they are).
//
// Pure function; safe from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
