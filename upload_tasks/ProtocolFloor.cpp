#include "ProtocolFloor.h"

#include <algorithm>

#include "ProtocolPauses.h"
#include "YmodemBlocks.h"
#include "ZarnWords.h"

namespace {

double Seconds(std::chrono::milliseconds length) {
  return std::chrono::duration<double>(length).count();
}

// DSP: the header and closing blocks, the two EOTs, and the STB's ACK 'C'
// to the header, NAK and ACK to the EOTs and ACK to the closing block.
constexpr int64_t kDspEotBytes = 2;
constexpr int64_t kDspReplyBytes = 5;
constexpr int64_t kDspFramingBytes =
    2 * static_cast<int64_t>(ymodem::kHeaderBlockSize) + kDspEotBytes + kDspReplyBytes;

}  // namespace

double LineSeconds(int64_t bytes) {
  return static_cast<double>(bytes) * kLineBitsPerByte / kLineBaud;
}

int64_t ZarnPacketCount(int64_t imageLength) {
  const auto chunk = static_cast<int64_t>(zarn::kMaxChunk);
  const int64_t body = std::max<int64_t>(0, imageLength - static_cast<int64_t>(zarn::kHeaderSize));
  return (body + chunk - 1) / chunk;
}

int64_t DspBlockCount(int64_t fileLength) {
  const auto block = static_cast<int64_t>(ymodem::kDataFieldSize);
  return (std::max<int64_t>(0, fileLength) + block - 1) / block;
}

double ZarnFloorSeconds(int64_t imageLength, std::chrono::milliseconds stbFlashTime) {
  using namespace zarn;
  const auto word = static_cast<int64_t>(kWordSize);
  const double perPacket =
      Seconds(kAfterPacketLengthPause + kAfterPacketDataPause + kAfterPacketEndPause);
  const int64_t body = std::max<int64_t>(0, imageLength - static_cast<int64_t>(kHeaderSize));
  const int64_t packets = ZarnPacketCount(imageLength);

  double t = LineSeconds(2 * word) + Seconds(kReplyPause + kBeforeHeaderPause + kAfterHeaderPause);
  // From the start of the last packet to the end word.
  double lastPacketEnd = Seconds(kBeforeEndOfImagePause);
  if (packets > 0) {
    const int64_t last = body - (packets - 1) * static_cast<int64_t>(kMaxChunk);
    t += static_cast<double>(packets - 1) * perPacket;
    // The last packet's length word, data, CRC and end word on the line, and
    // the STB's answer that the end word's wait takes.
    const double lastOnLine =
        Seconds(kAfterPacketLengthPause) + LineSeconds(last + 3 * word + word);
    lastPacketEnd = std::max(perPacket + Seconds(kBeforeEndOfImagePause), lastOnLine);
  }
  t += lastPacketEnd;
  // Two reply pauses before the flash report is read (it has arrived by then
  // when the flash time is shorter), the pause after it.
  t += 3 * Seconds(kReplyPause) + std::max(0.0, Seconds(stbFlashTime) - 2 * Seconds(kReplyPause));
  return t;
}

double DspFloorSeconds(int64_t fileLength) {
  return static_cast<double>(DspBlockCount(fileLength)) * Seconds(ymodem::kBlockReplyPause) +
         LineSeconds(kDspFramingBytes);
}
