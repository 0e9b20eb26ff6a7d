// Which files an upload accepts, and the words it refuses the rest with. One
// rule for every front end: the window's Load, zarn-upload before it opens
// the port and its --info, and the tasks themselves, which apply it again
// when they open the file (it may have changed since it was chosen).
//
// The rule has two steps:
//  - the file opens as a regular file (RegularFile.h): a missing path, a
//    directory, a FIFO, a socket or a device is refused for what it is, and
//    the look never blocks;
//  - its length lies within its protocol's limits (ImageLimitsFor).
// zarn-upload's early check asks only the first step (Openable()); a task and
// --info ask both. The window's Load asks less still (NamesRegularFile): an
// existing regular file counts as loaded even when it cannot be read, so that
// Send's task can say why in its box.
//
// Pure functions over the file system; safe from any thread. AdmitImage uses
// the ImageFile it is given, which the caller owns.
#pragma once

#include <cstdint>
#include <string>

#include "ImageFile.h"

// The two protocols; the file's name decides between them (DspPath.h).
enum class UploadProtocol { Zarn, Dsp };

// The protocol that Send chooses for `path`: Dsp when IsDspPath(path).
UploadProtocol ProtocolForPath(const std::string& path);

// The lengths a protocol can send. A reason ends the refusal's sentence
// "File "<path>" is too short: <n> bytes, " (or "too large").
struct ImageLimits {
  int64_t minimum = 0;
  std::string tooShortReason;
  int64_t maximum = 0;
  std::string tooLargeReason;
};

// ZARN: at least the 64-byte header; DSP: any length. Both below 2 GiB, as
// both carry the length as a signed 32-bit number.
const ImageLimits& ImageLimitsFor(UploadProtocol protocol);

struct ImageAdmission {
  enum class Verdict { Admitted, CannotOpen, CannotMeasure, TooShort, TooLarge };
  Verdict verdict = Verdict::CannotOpen;
  // The file's length, once it could be measured (else -1).
  int64_t length = -1;
  // CannotOpen and CannotMeasure: the system's words or what the path is
  // instead ("it is a directory, not a regular file").
  std::string problem;
  // The text of the "File Error" box that refuses the file; "" when admitted.
  std::string refusal;

  bool Admitted() const { return verdict == Verdict::Admitted; }
  // The first step of the rule passed: the path names a file that opens as
  // a regular file.
  bool Openable() const { return verdict != Verdict::CannotOpen; }
};

// Opens `path` into `file` and measures it against `protocol`'s limits.
// Admitted: `file` stays open with its position at the start. Otherwise it
// is closed again.
ImageAdmission AdmitImage(ImageFile& file, const std::string& path, UploadProtocol protocol);

// Whether `path` (UTF-8) names an existing regular file, a symbolic link
// counting as what it points at; a directory, a FIFO or a device does not.
// Opens nothing.
bool NamesRegularFile(const std::string& path);

// The same verdict without keeping the file open: for a front end that asks
// before any task runs.
ImageAdmission CheckImage(const std::string& path, UploadProtocol protocol);
