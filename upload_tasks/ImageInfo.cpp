#include "ImageInfo.h"

#include <algorithm>
#include <vector>

#include "Crc32.h"
#include "ImageFile.h"
#include "ProtocolFloor.h"
#include "Sha256.h"
#include "YmodemBlocks.h"
#include "ZarnWords.h"

namespace {

// How much of the file is read at a time for its checksums.
constexpr size_t kReadChunk = 64 * 1024;

void DescribeZarn(ImageInfo& info, const uint8_t* header) {
  info.headerBodySize = zarn::BodySize(header);
  info.bodyLength = static_cast<uint32_t>(info.admission.length - zarn::kHeaderSize);
  info.nameTag = zarn::NameTag(header);
  info.typeCode = zarn::TypeCodeForNameTag(info.nameTag);
  info.units = ZarnPacketCount(info.admission.length);
  if (info.typeCode) {
    info.floorSeconds = ZarnFloorSeconds(info.admission.length);
  } else {
    info.failureBox = kUnknownFileText;
  }
}

void DescribeDsp(ImageInfo& info) {
  const auto size = static_cast<int32_t>(info.admission.length);
  info.headerSizeText = ymodem::SizeText(size);
  info.headerName =
      ymodem::FitNameToHeader(ymodem::NameWithoutDirectory(info.path), info.headerSizeText);
  info.units = DspBlockCount(info.admission.length);
  info.floorSeconds = DspFloorSeconds(info.admission.length);
}

}  // namespace

FileFingerprint FingerprintFile(ImageFile& file) {
  FileFingerprint print;
  uint32_t crc = Crc32(nullptr, 0);
  Sha256 sha;
  std::vector<uint8_t> chunk(kReadChunk);
  int64_t total = 0;
  for (;;) {
    const int64_t got = file.Read(chunk.data(), chunk.size());
    if (got < 0) {
      print.error = file.LastError();
      return print;
    }
    if (got == 0) break;
    const auto count = static_cast<size_t>(got);
    if (print.head.size() < zarn::kHeaderSize) {
      const size_t take = std::min(count, zarn::kHeaderSize - print.head.size());
      print.head.insert(print.head.end(), chunk.begin(),
                        chunk.begin() + static_cast<ptrdiff_t>(take));
    }
    crc = Crc32Update(crc, chunk.data(), count);
    sha.Update(chunk.data(), count);
    total += got;
  }
  print.length = total;
  print.crc32 = crc;
  print.sha256 = HexDigest(sha.Finish());
  return print;
}

FileFingerprint FingerprintFile(const std::string& path) {
  ImageFile file;
  if (!file.Open(path)) {
    FileFingerprint print;
    print.error = file.LastError();
    return print;
  }
  return FingerprintFile(file);
}

ImageInfo DescribeImage(const std::string& path) {
  ImageInfo info;
  info.path = path;
  info.protocol = ProtocolForPath(path);
  ImageFile file;
  info.admission = AdmitImage(file, path, info.protocol);
  if (!info.admission.Admitted()) return info;

  const FileFingerprint print = FingerprintFile(file);
  if (!print.error.empty()) {
    info.readError = print.error;
    return info;
  }
  if (print.length != info.admission.length) {
    info.readError = "the file changed its length while it was read";
    return info;
  }
  info.crc32 = print.crc32;
  info.sha256 = print.sha256;
  if (info.protocol == UploadProtocol::Zarn) {
    DescribeZarn(info, print.head.data());
  } else {
    DescribeDsp(info);
  }
  return info;
}
