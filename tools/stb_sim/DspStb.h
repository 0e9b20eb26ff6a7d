// The STB's DSP side: a YMODEM-style receiver of one file. First contact with
// 'C', the header block (name and size), 1030-byte data blocks with CRC-16
// and a trailing 0x00, the EOT handshake (NAK, then ACK) and the closing
// block.
//
// Threads: the simulator's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimChannel.h"

namespace stbsim {

inline constexpr uint8_t kSoh = 0x01;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCan = 0x18;
inline constexpr uint8_t kSub = 0x1A;
inline constexpr uint8_t kAskCrc = 'C';

inline constexpr size_t kShortBlockSize = 133;  // SOH, number, complement, 128 bytes, CRC-16
inline constexpr size_t kShortFieldSize = 128;
inline constexpr size_t kDataBlockSize = 1030;  // STX, number, complement, 1024 bytes, CRC-16, 0x00
inline constexpr size_t kDataFieldSize = 1024;

// The fields of a header block's data field: the name up to its 0x00 and the
// decimal size after it (-1 when there are no digits).
struct DspHeaderFields {
  std::string name;
  int64_t size = -1;
};
DspHeaderFields ParseDspHeader(const std::vector<uint8_t>& block);

class DspStb {
 public:
  explicit DspStb(SimChannel& channel);

  // Asks with 'C' until the tool sends, then receives one file to its
  // closing block. Finished: the closing block was acknowledged; Restart: the
  // transfer stalled or was ended with CAN or SUB. Throws LineStopped / LineGone.
  SessionEnd RunOnce(bool firstSession);

 private:
  enum class State { Header, Data, Closing, Done, Aborted };

  void ResetTransfer();
  SessionEnd Transfer();
  void OnHeaderBlock(const std::vector<uint8_t>& block);
  // `arrived`: when the block's first byte came.
  void OnDataBlock(const std::vector<uint8_t>& block, SimLine::Clock::time_point arrived);
  // Sleeps the slow STB's reply delay (nothing when it has none).
  void AnswerLate();
  // A paced STB still writing the last accepted block at `arrived`: the
  // block is lost and answered NAK (true).
  bool LostWhileWriting(const std::vector<uint8_t>& block, SimLine::Clock::time_point arrived);
  void OnEot();
  void OnClosingBlock(const std::vector<uint8_t>& block);
  // Moves to Aborted when the STB answered with CAN or SUB.
  bool EndsTransfer(const std::vector<uint8_t>& sent);
  SessionEnd SettleAfterAbort();

  SimChannel& channel_;
  int contactCs_ = 0;
  // Per transfer.
  State state_ = State::Header;
  int headerIndex_ = 0;
  int blockIndex_ = 0;
  int eotIndex_ = 0;
  int closingIndex_ = 0;
  uint8_t expectedNumber_ = 1;
  int64_t size_ = -1;
  int64_t stored_ = 0;
  std::vector<uint8_t> acceptedHeader_;
  // Paced: the end of writing the last accepted block away.
  SimLine::Clock::time_point writingUntil_{};
};

}  // namespace stbsim
