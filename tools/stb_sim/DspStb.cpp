#include "DspStb.h"

#include <algorithm>
#include <chrono>

#include "SimCrc.h"

namespace stbsim {
namespace {

uint16_t CrcField(const std::vector<uint8_t>& block, size_t fieldSize) {
  return static_cast<uint16_t>((block[3 + fieldSize] << 8) | block[4 + fieldSize]);
}

bool StartsWith(const std::vector<uint8_t>& bytes, uint8_t first) {
  return !bytes.empty() && bytes[0] == first;
}

// SOH, 0x00, 0xFF, then nothing but zeros: the closing block.
bool IsEmptyBlock(const std::vector<uint8_t>& block) {
  return block[1] == 0x00 && block[2] == 0xFF &&
         std::all_of(block.begin() + 3, block.end(), [](uint8_t byte) { return byte == 0; });
}

}  // namespace

DspHeaderFields ParseDspHeader(const std::vector<uint8_t>& block) {
  DspHeaderFields fields;
  size_t i = 3;
  const size_t end = 3 + kShortFieldSize;
  while (i < end && block[i] != 0) fields.name += static_cast<char>(block[i++]);
  ++i;
  int64_t size = 0;
  bool digits = false;
  while (i < end && block[i] >= '0' && block[i] <= '9' && size < (int64_t{1} << 40)) {
    size = size * 10 + (block[i++] - '0');
    digits = true;
  }
  if (digits) fields.size = size;
  return fields;
}

DspStb::DspStb(SimChannel& channel) : channel_(channel) {}

SessionEnd DspStb::RunOnce(bool firstSession) {
  const SimOptions& options = channel_.Options();
  if (firstSession && options.firstGreetingDelay.count() > 0)
    channel_.Line().SleepFor(options.firstGreetingDelay);
  try {
    for (int index = 0;; ++index) {
      const PlannedReply ask = channel_.Plan(SimPhase::ContactC, index, {kAskCrc});
      channel_.Log().Change([](SimRecord& record) { ++record.contactCs; });
      channel_.Send(ask, "first contact");
      const auto until = options.cInterval.count() > 0 ? SimLine::Clock::now() + options.cInterval
                                                       : SimLine::Clock::time_point::max();
      if (channel_.Line().WaitReadable(until)) break;
    }
    return Transfer();
  } catch (const IdleTimeout&) {
    channel_.Event("nothing from the tool for " + std::to_string(options.idleRestart.count()) +
                   " ms: restarting");
    return SessionEnd::Restart;
  }
}

void DspStb::ResetTransfer() {
  state_ = State::Header;
  headerIndex_ = blockIndex_ = eotIndex_ = closingIndex_ = 0;
  expectedNumber_ = 1;
  size_ = -1;
  stored_ = 0;
  acceptedHeader_.clear();
  writingUntil_ = {};
}

SessionEnd DspStb::Transfer() {
  ResetTransfer();
  for (;;) {
    const uint8_t first = channel_.ReadByte();
    if (first == kSoh) {
      std::vector<uint8_t> block{first};
      const std::vector<uint8_t> rest = channel_.ReadExact(kShortBlockSize - 1);
      block.insert(block.end(), rest.begin(), rest.end());
      // A closing block also ends a data phase whose EOTs went unacknowledged:
      // the tool sends it after its last EOT all the same.
      if (state_ == State::Closing || (state_ == State::Data && IsEmptyBlock(block))) {
        OnClosingBlock(block);
      } else if (state_ == State::Data && block == acceptedHeader_) {
        // The tool sent its header again because it took a stale byte for
        // the answer; the answer it waits for is already on its way.
        channel_.Log().ChangeUpload([&](UploadRecord& upload) {
          upload.headerBlocks.push_back({block, 0, true, false});
        });
        channel_.Event("header block repeated: not answered");
      } else {
        OnHeaderBlock(block);
      }
    } else if (first == kStx) {
      const auto arrived = SimLine::Clock::now();
      std::vector<uint8_t> block{first};
      const std::vector<uint8_t> rest = channel_.ReadExact(kDataBlockSize - 1);
      block.insert(block.end(), rest.begin(), rest.end());
      OnDataBlock(block, arrived);
    } else if (first == kEot) {
      OnEot();
    } else if (first == kCan) {
      channel_.Log().ChangeUpload([](UploadRecord& upload) { ++upload.canReceived; });
      channel_.Event("CAN received");
    }
    // Any other byte between blocks is line noise (or a data block's
    // trailing byte after a lost start) and is dropped.
    if (state_ == State::Done) {
      channel_.Line().SleepFor(channel_.Options().restartTime);
      return SessionEnd::Finished;
    }
    if (state_ == State::Aborted) return SettleAfterAbort();
  }
}

bool DspStb::EndsTransfer(const std::vector<uint8_t>& sent) {
  if (!StartsWith(sent, kCan) && !StartsWith(sent, kSub)) return false;
  state_ = State::Aborted;
  return true;
}

void DspStb::OnHeaderBlock(const std::vector<uint8_t>& block) {
  if (state_ != State::Header) {
    // A different header in the middle of a transfer: the tool has started
    // over with a new file.
    channel_.Event("new header block: starting over");
    ResetTransfer();
  }
  if (headerIndex_ == 0) {
    channel_.Log().BeginUpload(SimMode::Dsp);
    channel_.ResetVanishCount();
  }
  const bool ok =
      block[1] == 0x00 && block[2] == 0xFF &&
      BitwiseCrc16(block.data() + 3, kShortFieldSize) == CrcField(block, kShortFieldSize);
  const DspHeaderFields fields = ParseDspHeader(block);
  const std::string what = "header block " + std::to_string(headerIndex_) + " (\"" + fields.name +
                           "\", " + std::to_string(fields.size) + " bytes" +
                           (ok ? "" : ", broken") + ")";
  const PlannedReply reply =
      channel_.Plan(SimPhase::DspHeaderReply, headerIndex_++,
                    ok ? std::vector<uint8_t>{kAck, kAskCrc} : std::vector<uint8_t>{kNak});
  const bool accepted = StartsWith(reply.bytes, kAck);
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    upload.headerBlocks.push_back({block, block[1], ok, accepted});
    if (accepted) {
      upload.dspName = fields.name;
      upload.dspSize = fields.size;
    }
  });
  channel_.Send(reply, what);
  if (EndsTransfer(reply.bytes) || !accepted) return;
  acceptedHeader_ = block;
  size_ = fields.size;
  state_ = State::Data;
}

bool DspStb::LostWhileWriting(const std::vector<uint8_t>& block,
                              SimLine::Clock::time_point arrived) {
  if (channel_.Options().dspPacing != SimDspPacing::Paced || arrived >= writingUntil_) return false;
  const auto early = std::chrono::duration_cast<std::chrono::milliseconds>(writingUntil_ - arrived);
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    upload.dataBlocks.push_back({block, block[1], false, false});
    ++upload.earlyBlocks;
  });
  channel_.Event("data block " + std::to_string(blockIndex_) + " came " +
                 std::to_string(early.count()) + " ms before the last one was written: NAK");
  channel_.Line().Write({kNak});
  return true;
}

// A slow STB: every answer to a data block, whatever it is, comes late. The
// block is on record before.
void DspStb::AnswerLate() {
  const auto delay = channel_.Options().blockReplyDelay;
  if (delay.count() > 0) channel_.Line().SleepFor(delay);
}

void DspStb::OnDataBlock(const std::vector<uint8_t>& block, SimLine::Clock::time_point arrived) {
  const SimOptions& options = channel_.Options();
  if (state_ == State::Data && LostWhileWriting(block, arrived)) return;
  const uint8_t number = block[1];
  const bool ok =
      block[2] == static_cast<uint8_t>(~number) &&
      BitwiseCrc16(block.data() + 3, kDataFieldSize) == CrcField(block, kDataFieldSize) &&
      block[kDataBlockSize - 1] == 0x00;
  if (state_ != State::Data) {
    channel_.Log().ChangeUpload([&](UploadRecord& upload) {
      upload.dataBlocks.push_back({block, number, ok, false});
    });
    channel_.Event("data block out of place: NAK");
    channel_.Line().Write({kNak});
    return;
  }
  if (ok && blockIndex_ > 0 && number == static_cast<uint8_t>(expectedNumber_ - 1)) {
    // The last block again: its ACK was lost. Acknowledge, keep nothing.
    channel_.Log().ChangeUpload([&](UploadRecord& upload) {
      upload.dataBlocks.push_back({block, number, ok, true});
    });
    channel_.Event("block " + std::to_string(number) + " repeated: ACK");
    AnswerLate();
    channel_.Line().Write({kAck});
    return;
  }
  const bool expected = number == expectedNumber_;
  const std::string what = "data block " + std::to_string(blockIndex_) + " (number " +
                           std::to_string(number) +
                           (ok ? expected ? "" : ", out of order" : ", broken") + ")";
  const PlannedReply reply =
      channel_.Plan(SimPhase::BlockReply, blockIndex_, {ok && expected ? kAck : kNak});
  const bool accepted = StartsWith(reply.bytes, kAck) && expected;
  int64_t keep = 0;
  if (accepted) {
    keep = size_ < 0 ? int64_t{kDataFieldSize}
                     : std::clamp<int64_t>(size_ - stored_, 0, kDataFieldSize);
    stored_ += keep;
    ++blockIndex_;
    ++expectedNumber_;
  }
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    upload.dataBlocks.push_back({block, number, ok, accepted});
    upload.dspFile.insert(upload.dspFile.end(), block.begin() + 3, block.begin() + 3 + keep);
  });
  AnswerLate();
  channel_.Send(reply, what);
  if (accepted) writingUntil_ = SimLine::Clock::now() + options.pacedWriteTime;
  if (accepted && options.dspPacing == SimDspPacing::Paced) {
    channel_.Log().ChangeUpload(
        [&](UploadRecord& upload) { upload.writtenAwayAt = writingUntil_; });
  }
  EndsTransfer(reply.bytes);
}

void DspStb::OnEot() {
  channel_.Log().ChangeUpload([](UploadRecord& upload) { ++upload.eotCount; });
  if (state_ != State::Data && state_ != State::Closing) {
    channel_.Event("EOT out of place: ignored");
    return;
  }
  const int index = eotIndex_++;
  const std::vector<uint8_t> sent = channel_.Reply(
      SimPhase::EotReply, index, {index == 0 ? kNak : kAck}, "EOT " + std::to_string(index));
  if (EndsTransfer(sent)) return;
  if (StartsWith(sent, kAck)) state_ = State::Closing;
}

void DspStb::OnClosingBlock(const std::vector<uint8_t>& block) {
  const bool ok = IsEmptyBlock(block);
  const PlannedReply reply =
      channel_.Plan(SimPhase::ClosingReply, closingIndex_++, {ok ? kAck : kNak});
  const bool accepted = StartsWith(reply.bytes, kAck);
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    upload.closingBlocks.push_back({block, block[1], ok, accepted});
    if (accepted) {
      upload.finished = true;
      if (upload.dspSize >= 0 && static_cast<int64_t>(upload.dspFile.size()) > upload.dspSize)
        upload.dspFile.resize(static_cast<size_t>(upload.dspSize));
    }
  });
  if (accepted) channel_.Log().Change([](SimRecord& record) { ++record.finishedUploads; });
  channel_.Send(reply, std::string("closing block") + (ok ? "" : " (not empty)"));
  if (EndsTransfer(reply.bytes) || !accepted) return;
  channel_.Event("transfer finished: " + std::to_string(stored_) + " bytes");
  state_ = State::Done;
}

SessionEnd DspStb::SettleAfterAbort() {
  channel_.Event("transfer ended by the STB: taking what the tool still sends");
  for (;;) {
    const auto byte = channel_.ReadByteUntil(SimLine::Clock::now() + channel_.Options().abortQuiet);
    if (!byte) break;
    if (*byte == kCan)
      channel_.Log().ChangeUpload([](UploadRecord& upload) { ++upload.canReceived; });
  }
  channel_.Event("line quiet after the ended transfer: restarting");
  return SessionEnd::Restart;
}

}  // namespace stbsim
