// Port names as users and Windows write them: "COM<n>" in any letter case,
// also with Windows' device prefix ("\\.\COM12"). One reading for the command
// line, the Windows device backend and the Windows port list, so a name one
// of them accepts is a name all of them accept.
//
// The range is COM1 to COM256 on every system: Windows' port list looks at
// exactly those (the numbers Windows hands to serial adapters), the Linux
// mapping uses COM1 to COM50 inside it, and a number the list can never show
// is better refused as a typo than sent to the system as a file name.
//
// Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr uint16_t kLowestComNumber = 1;
inline constexpr uint16_t kHighestComNumber = 256;

// Windows' device prefix, the "\\.\" of "\\.\COM12".
inline constexpr std::string_view kComDevicePrefix = "\\\\.\\";

// The port number that `name` gives ("COM7", "com7", "\\.\COM7"): "COM" in
// any letter case, then nothing but decimal digits for a number from 1 to
// 256 (leading zeros allowed). Nothing for any other text.
std::optional<uint16_t> ComNumberFromName(std::string_view name);

// `name` has the form of a COM name ("COM", then one or more digits, with or
// without the device prefix) whatever its number: a number out of range is a
// mistake to report, not a device path.
bool HasComNameForm(std::string_view name);

// "COM<n>".
std::string ComNameFor(uint16_t number);
