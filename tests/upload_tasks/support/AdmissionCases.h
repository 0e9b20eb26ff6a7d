// The files an upload may be given, and what the admission rule
// (ImageAdmission.h) says of each for either protocol: one table for the
// rule itself, for both task kinds and for zarn-upload's early refusal.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "ImageAdmission.h"
#include "TempDir.h"

struct AdmissionCase {
  const char* name;
  // Makes the file in `folder` and returns its path; `extension` (".zarn" or
  // ".DSP") ends the name where the case has a name of its own.
  std::function<std::string(const TempDir& folder, const std::string& extension)> make;
  ImageAdmission::Verdict zarn;
  ImageAdmission::Verdict dsp;
  // Part of the problem (cannot open) or of the refusal (length); "" when
  // both protocols admit the file.
  std::string words;

  ImageAdmission::Verdict For(UploadProtocol protocol) const {
    return protocol == UploadProtocol::Dsp ? dsp : zarn;
  }
};

inline void PrintTo(const AdmissionCase& row, std::ostream* os) { *os << row.name; }

// Every case: missing, directory, FIFO, socket, character device, empty,
// shorter than a ZARN header, exactly a header, the largest length and one
// byte beyond it (sparse files).
const std::vector<AdmissionCase>& AdmissionCases();

// Every case with each protocol that refuses it.
std::vector<std::tuple<AdmissionCase, UploadProtocol>> RefusedAdmissionCases();

// The extension that makes a name go with `protocol`.
std::string ExtensionFor(UploadProtocol protocol);
