// What a file is and how it would go, without a port: the protocol Send
// would choose, the admission rule's verdict, what the header carries (ZARN:
// BodySize and NameTag with its type code; DSP: the name and size of the
// header block), the number of packets or blocks, the file's CRC-32 and
// SHA-256, and the protocol floor at 115200 bps. zarn-upload --info prints
// it; the upload record and the JSON start event take the fingerprint.
//
// Reads the file through an ImageFile of its own (never the process-wide
// handle a running task uses); safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ImageAdmission.h"
#include "ImageFile.h"

struct ImageInfo {
  std::string path;
  UploadProtocol protocol = UploadProtocol::Zarn;
  // The rule's verdict; everything below is filled only when it admits the
  // file and the whole file could be read.
  ImageAdmission admission;
  // A read error after the file was admitted: the system's words ("" when
  // none).
  std::string readError;

  uint32_t crc32 = 0;
  std::string sha256;  // lower-case hex
  // ZARN packets or DSP data blocks.
  int64_t units = 0;
  // The least time the upload takes (ProtocolFloor.h); none when the upload
  // would fail before the body.
  std::optional<double> floorSeconds;

  // ZARN: the header's BodySize, the body that would be sent (file length -
  // 64, written into BodySize when they differ), the NameTag and the type
  // code it selects, or none with the task's own failure box text.
  uint32_t headerBodySize = 0;
  uint32_t bodyLength = 0;
  std::string nameTag;
  std::optional<uint8_t> typeCode;
  std::string failureBox;  // "Uknown file!!!" (title "File Error") or ""

  // DSP: the name (fitted to the field) and the size text the header block
  // carries.
  std::string headerName;
  std::string headerSizeText;

  bool Sendable() const { return admission.Admitted() && readError.empty(); }
  bool BodySizeMatches() const { return headerBodySize == bodyLength; }
};

// Looks at `path` as Send would: the protocol by its name.
ImageInfo DescribeImage(const std::string& path);

// A file's identity, read from its current position to its end: the length
// read, CRC-32 and SHA-256, and its first 64 bytes (fewer when it is
// shorter). `error` holds the system's words when a read failed.
struct FileFingerprint {
  int64_t length = -1;
  uint32_t crc32 = 0;
  std::string sha256;  // lower-case hex
  std::vector<uint8_t> head;
  std::string error;
};
FileFingerprint FingerprintFile(ImageFile& file);
// The same for the file at `path`, whatever the admission rule says of it.
FileFingerprint FingerprintFile(const std::string& path);

// "Uknown file!!!": the box the ZARN task shows for a NameTag that selects no
// type code (title "File Error").
inline constexpr char kUnknownFileText[] = "Uknown file!!!";
