// The STB's ZARN side: greeting, request, header, packets with their CRC-32,
// the end word, flash writing and restart.
//
// Threads: the simulator's thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "SimChannel.h"

namespace stbsim {

// Words on the line, first byte most significant.
inline constexpr uint32_t kDnRequestMask = 0xFFFFFF00u;
inline constexpr uint32_t kDnRequest = 0xAB446E00u;
inline constexpr uint32_t kDnAccept = 0xBA446E90u;
inline constexpr uint32_t kHeaderAccept = 0xAB9000ABu;
inline constexpr uint32_t kPacketEnd = 0xAB50434Bu;
inline constexpr uint32_t kPacketBad = 0xAB4D4F52u;
inline constexpr uint32_t kEndOfImage = 0xAB454E44u;
inline constexpr uint32_t kFlashStart = 0xAB464C53u;
inline constexpr uint32_t kFlashOk = 0xAB9090ABu;
inline constexpr uint32_t kFlashErr = 0xAB9009ABu;

inline constexpr size_t kImageHeaderSize = 64;
inline constexpr size_t kBodySizeOffset = 16;
inline constexpr size_t kNameTagOffset = 32;
inline constexpr uint32_t kMinPacketLength = 5;     // one data byte and the CRC-32
inline constexpr uint32_t kMaxPacketLength = 8192;  // 8188 data bytes and the CRC-32

// The type codes the STB takes.
bool IsKnownTypeCode(uint8_t code);

class ZarnStb {
 public:
  explicit ZarnStb(SimChannel& channel);

  // Greets until the tool speaks, then takes one upload to its restart.
  // Finished: the flash phase has run; Restart: the upload stalled and was
  // given up. Throws LineStopped / LineGone.
  SessionEnd RunOnce(bool firstSession);

 private:
  uint32_t AwaitRequest();
  uint32_t ScanForRequest();
  uint32_t ReadWord();
  bool HandleRequest(uint32_t word);
  void ReceiveHeader();
  uint32_t ReceivePackets();
  bool ReceivePacket(uint32_t lengthWord);
  uint32_t Resync();
  SessionEnd Flash();

  SimChannel& channel_;
  int greetings_ = 0;
  int requests_ = 0;
  int finished_ = 0;
  // Per upload.
  int headers_ = 0;
  int packets_ = 0;
  int acceptedChunks_ = 0;
  uint32_t bodySize_ = 0;
  size_t bodyReceived_ = 0;
};

}  // namespace stbsim
