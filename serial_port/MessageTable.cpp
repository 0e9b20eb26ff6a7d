// The fixed message table behind ErrorMsg. Kept sorted by magnitude so that the
// lookup can halve its way through it.
#include <algorithm>
#include <array>
#include <string_view>

#include "Adexcept.h"

namespace {

struct TMessageEntry {
  int magnitude;
  std::string_view text;
};

constexpr std::array<TMessageEntry, 34> kMessages{{
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {15, "Invalid drive"},
    {18, "No more files"},
    {100, "Attempt to read beyond end of file"},
    {101, "Disk is full"},
    {102, "File/device not assigned"},
    {103, "File/device not open"},
    {104, "File/device not open for input"},
    {105, "File/device not open for output"},
    {150, "Disk is write-protected"},
    {151, "Unknown disk unit"},
    {152, "Drive is not ready"},
    {153, "Unknown command"},
    {154, "Data error"},
    {155, "Bad request structure length"},
    {156, "Seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer is out of paper"},
    {160, "Device write error"},
    {161, "Device read error"},
    {162, "General failure"},
    {2001, "ie_BadId - Specified comport doesn't exist"},
    {2007, "ie_NOpen - device not open"},
    {2008, "ie_Open - device already open"},
    {2011, "The ComNumber property of the TApdComPort has not been set"},
    {2101,
     "Permission denied: this user may not open the serial port. Add the user to the "
     "dialout group (sudo usermod -aG dialout <user>) and log in again"},
    {3006, "Output buffer too small for block"},
    {3007, "Buffer is empty"},
    {13868, "No memory"},
}};

static_assert(std::is_sorted(kMessages.begin(), kMessages.end(),
                             [](const TMessageEntry& a, const TMessageEntry& b) {
                               return a.magnitude < b.magnitude;
                             }),
              "the lookup halves its way through the table, so it must stay sorted");

}  // namespace

std::string MessageNumberToString(int Magnitude) {
  auto it = std::lower_bound(kMessages.begin(), kMessages.end(), Magnitude,
                             [](const TMessageEntry& e, int m) { return e.magnitude < m; });
  if (it == kMessages.end() || it->magnitude != Magnitude) return {};
  return std::string(it->text);
}
