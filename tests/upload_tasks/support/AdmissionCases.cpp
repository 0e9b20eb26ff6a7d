#include "AdmissionCases.h"

#include <cstdint>
#include <filesystem>

namespace {

using V = ImageAdmission::Verdict;

constexpr uint64_t kTwoGiB = uint64_t{1} << 31;

// A file of `length` bytes that takes no disk space.
std::string Sparse(const TempDir& folder, const std::string& name, uint64_t length) {
  const std::string path = folder.Write(name, {});
  std::filesystem::resize_file(path, length);
  return path;
}

}  // namespace

std::string ExtensionFor(UploadProtocol protocol) {
  return protocol == UploadProtocol::Dsp ? ".DSP" : ".zarn";
}

const std::vector<AdmissionCase>& AdmissionCases() {
  // clang-format off
  static const std::vector<AdmissionCase> cases = {
      {"Missing", [](const TempDir& f, const std::string& ext) { return f.Path() + "/missing" + ext; },
       V::CannotOpen, V::CannotOpen, "No such file or directory"},
      {"Directory",
       [](const TempDir& f, const std::string& ext) {
         const std::string path = f.Path() + "/folder" + ext;
         std::filesystem::create_directory(path);
         return path;
       },
       V::CannotOpen, V::CannotOpen, "it is a directory, not a regular file"},
      // Nobody writes to the pipe: an open that waited for a writer would
      // never end.
      {"NamedPipe", [](const TempDir& f, const std::string& ext) { return f.MakeFifo("pipe" + ext); },
       V::CannotOpen, V::CannotOpen, "it is a named pipe (FIFO), not a regular file"},
      {"Socket", [](const TempDir& f, const std::string& ext) { return f.MakeSocket("socket" + ext); },
       V::CannotOpen, V::CannotOpen, "it is a socket, not a regular file"},
      // Its size reads 0; it is refused for what it is, not as "too short".
      {"CharacterDevice", [](const TempDir&, const std::string&) { return std::string("/dev/zero"); },
       V::CannotOpen, V::CannotOpen, "it is a character device, not a regular file"},
      {"Empty", [](const TempDir& f, const std::string& ext) { return f.Write("empty" + ext, {}); },
       V::TooShort, V::Admitted, "is too short: 0 bytes, an image starts with a 64-byte header."},
      {"ShorterThanAHeader",
       [](const TempDir& f, const std::string& ext) { return f.Write("short" + ext, std::vector<uint8_t>(63, 'A')); },
       V::TooShort, V::Admitted, "is too short: 63 bytes, an image starts with a 64-byte header."},
      {"ExactlyAHeader",
       [](const TempDir& f, const std::string& ext) { return f.Write("header" + ext, std::vector<uint8_t>(64, 'A')); },
       V::Admitted, V::Admitted, ""},
      {"LargestLength",
       [](const TempDir& f, const std::string& ext) { return Sparse(f, "largest" + ext, kTwoGiB - 1); },
       V::Admitted, V::Admitted, ""},
      {"TwoGiB", [](const TempDir& f, const std::string& ext) { return Sparse(f, "huge" + ext, kTwoGiB); },
       V::TooLarge, V::TooLarge, "is too large: 2147483648 bytes, "},
  };
  // clang-format on
  return cases;
}

std::vector<std::tuple<AdmissionCase, UploadProtocol>> RefusedAdmissionCases() {
  std::vector<std::tuple<AdmissionCase, UploadProtocol>> refused;
  for (const AdmissionCase& row : AdmissionCases()) {
    for (UploadProtocol protocol : {UploadProtocol::Zarn, UploadProtocol::Dsp}) {
      if (row.For(protocol) != ImageAdmission::Verdict::Admitted)
        refused.emplace_back(row, protocol);
    }
  }
  return refused;
}
