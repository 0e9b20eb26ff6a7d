// The DSP upload: a YMODEM-style batch of one file. First contact on the
// STB's 'C', a header block with the file's name and size, 1030-byte data
// blocks each answered 200 ms after it was queued (or, in the fast transfer,
// each sent once the previous one is acknowledged), the EOT handshake and the
// empty closing block.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Adexcept.h"
#include "Adport.h"
#include "ProtocolPauses.h"
#include "Unit2.h"
#include "YmodemBlocks.h"

namespace {

using namespace std::chrono_literals;
using namespace ymodem;

// Whole-second limit of every wait for a reply that has one, the fast
// transfer's wait for a data block's reply included (YMODEM receivers give a
// sender ten seconds too).
constexpr int kReplyLimitSeconds = 10;
// How long an STB may send bytes other than 'C' at first contact.
constexpr int kOtherBytesLimitSeconds = 3;
// Sends of one header block, data block, EOT or closing block.
constexpr int kMaxSends = 60;

const std::string kProblemReadingText = "Problem reading from file.";

constexpr uint8_t kCancelSequence[] = {CAN, CAN, CAN};

// One block byte by byte, as the STB's receiver takes it.
template <typename Block>
void PutEach(TApdCustomComPort& port, const Block& block) {
  for (uint8_t byte : block) port.PutChar(byte);
}

std::string PacketLine(int32_t offset, int32_t size) {
  char line[96];
  std::snprintf(line, sizeof line, "Packet %d/%d OK, sent %dBytes",
                static_cast<int>(offset / static_cast<int32_t>(kDataFieldSize)),
                static_cast<int>(size / static_cast<int32_t>(kDataFieldSize)),
                static_cast<int>(offset));
  return line;
}

}  // namespace

UpDspThread::UpDspThread(TaskHost& host, TaskClock& clock, DspPacing pacing)
    : TThread(host, clock, "UpDspThread", "Download task terminated!!!"), pacing_(pacing) {
  Start();
}

// Until the header block a port failure or a stop ends the task without a
// word of its own; from the header block on, with the failure box.
void UpDspThread::Execute() {
  try {
    if (!FirstContact()) return;
  } catch (const Exception&) {
    return;
  }
  if (!OpenFile()) return;
  try {
    Transfer();
  } catch (const Exception&) {
    Fail();
  }
  std::vector<uint8_t>().swap(buffer_);  // on every ending, before the notice
}

void UpDspThread::Transfer() {
  if (!SendHeaderBlock()) return;
  if (!ReadFile()) return;
  if (!SendDataBlocks()) return;
  if (!EndTransmission()) return;
  if (!SendClosingBlock()) return;
  Finish();
}

bool UpDspThread::FirstContact() {
  FlushBoth();
  Log("Waiting for STB...");
  switch (WaitSeconds(kReplyLimitSeconds)) {
    case WaitOutcome::TimedOut: Log("Timeout!!!"); return false;
    case WaitOutcome::StopRequested: return false;
    case WaitOutcome::ByteReady: break;
  }
  if (Take() != CrcReady) {
    // Judged only after a byte: an STB that falls silent holds the task here
    // until a stop is requested.
    const int64_t firstOther = WholeSeconds();
    for (;;) {
      if (WaitWithoutLimit() == WaitOutcome::StopRequested) return false;
      if (Take() == CrcReady) break;
      if (WholeSeconds() > firstOther + kOtherBytesLimitSeconds) {
        Log("Timeout 2 !!!");
        return false;
      }
    }
  }
  Log("connection established!!!");
  // The mode is named where the transfer itself begins: "Waiting for STB..."
  // stays the first line of every upload, an upload that never reached the
  // STB claims no transfer, and the line sits above everything the pacing
  // can change.
  if (pacing_ == DspPacing::AckDriven) Log("Fast transfer");
  return true;
}

// The task has sent nothing yet, so a file that cannot be sent ends the task
// here with a box that names the problem, before a header could announce a
// size the file does not have.
bool UpDspThread::OpenFile() {
  path_ = Host().ChosenPath();
  const std::optional<int64_t> length = OpenImageForUpload(path_, UploadProtocol::Dsp);
  if (!length) return false;
  size_ = static_cast<int32_t>(*length);
  return true;
}

// Stale bytes stay put: the STB's 'C's are its own business, and a further
// 'C' simply counts as a failed send.
bool UpDspThread::SendHeaderBlock() {
  const HeaderBlock header = BuildHeaderBlock(NameWithoutDirectory(path_), size_);
  for (int sends = 0;;) {
    Port().PutBlock(header.data(), static_cast<uint16_t>(header.size()));
    if (!AwaitReply()) return false;
    const uint8_t reply = Take();
    if (reply == ACK) {
      if (WaitWithoutLimit() == WaitOutcome::StopRequested) {
        Fail();
        return false;
      }
      if (Take() == CrcReady) return true;
    } else if (Refused(reply, Discard::Received, "Header transf. error!!!",
                       "Transf. disabled!!!")) {
      TheImageFile().Close();
      return false;
    }
    if (++sends >= kMaxSends) {
      Log("Transf. time expired!!!");
      TheImageFile().Close();
      return false;
    }
  }
}

// A short read would send zeros for content the STB then takes as the file's,
// so it ends the task like a read failure.
bool UpDspThread::ReadFile() {
  try {
    buffer_.resize(static_cast<size_t>(size_));
  } catch (const std::bad_alloc&) {
    Log("Memory error!!!");
    TheImageFile().Close();
    return false;
  }
  if (size_ > 0 &&
      TheImageFile().Read(buffer_.data(), buffer_.size()) != static_cast<int64_t>(size_)) {
    Fail();
    return false;
  }
  TheImageFile().Close();
  FlushBoth();
  SetProgressPosition(0);
  SetProgressMin(0);
  SetProgressMax(size_);
  return true;
}

bool UpDspThread::SendDataBlocks() {
  uint8_t blockNumber = 1;
  for (int32_t offset = 0; offset < size_;) {
    const auto carried = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(kDataFieldSize), size_ - offset));
    if (!SendDataBlock(blockNumber, offset, carried)) return false;
    ++blockNumber;
    offset += carried;
  }
  return true;
}

// Both pacings judge the reply alike: ACK moves on, CAN and SUB end the task,
// anything else sends the block again, up to kMaxSends. They differ in how a
// block goes out and its reply is had (SendPaced, SendAckDriven), and in how
// stray bytes are kept from passing for the next block's reply: the default
// mode empties both buffers after every reply; the fast transfer empties the
// receive side right before each send.
bool UpDspThread::SendDataBlock(uint8_t blockNumber, int32_t offset, int32_t carried) {
  const DataBlock block =
      BuildDataBlock(blockNumber, {buffer_.data() + offset, static_cast<size_t>(carried)});
  const bool paced = pacing_ == DspPacing::PausePerBlock;
  for (int sends = 0; sends < kMaxSends; ++sends) {
    const std::optional<uint8_t> reply = paced ? SendPaced(block) : SendAckDriven(block);
    if (!reply) return false;
    if (*reply == ACK) {
      Log(PacketLine(offset, size_));
      StepProgressBy(carried);
      if (paced) FlushBoth();
      return true;
    }
    if (Refused(*reply, Discard::BothBuffers, "Trasf. error!!!", "Trasf. disabled!!!")) {
      return false;
    }
    if (paced) FlushBoth();
  }
  FlushBoth();
  Log("Trasf. time expired!!!");
  return false;
}

// Byte by byte, then the reply read once after the fixed pause. Paced by the
// pause alone, it looks at no stop request; a closed port ends it through its
// next operation.
std::optional<uint8_t> UpDspThread::SendPaced(const ymodem::DataBlock& block) {
  PutEach(Port(), block);
  Pause(kBlockReplyPause);
  return Take();
}

// Nothing received before the send can answer a block not yet queued, and the
// real reply, which may come at once, is never thrown away. The transmit side
// is left alone: the STB has answered the last block, so it has left, apart
// perhaps from its trailing 0x00, which the STB expects. Nothing when the task
// must end (a stop, or the reply's wait ended it).
std::optional<uint8_t> UpDspThread::SendAckDriven(const ymodem::DataBlock& block) {
  if (StopRequested()) {
    Fail();
    return std::nullopt;
  }
  Port().FlushInBuffer();
  // One ring operation for the whole block: the same bytes as the default
  // mode's byte-by-byte queuing, at a fraction of its locking.
  Port().PutBlock(block.data(), static_cast<uint16_t>(block.size()));
  if (!AwaitReply()) return std::nullopt;
  return Take();
}

// The STB answers the first EOT with NAK. Sixty unanswered EOTs still lead to
// the closing block.
bool UpDspThread::EndTransmission() {
  Port().FlushInBuffer();
  for (int sends = 0; sends < kMaxSends;) {
    Port().PutChar(EOT);
    if (!AwaitReply()) return false;
    const uint8_t reply = Peek();
    Take();
    if (reply == ACK) break;
    ++sends;
    // One EOT for each answer, not for each byte: what came with a NAK (line
    // noise) would draw one EOT more per byte, and the STB's answers to those
    // would arrive after the discard before the closing block and pass for
    // its acknowledgement.
    Port().FlushInBuffer();
  }
  return true;
}

// Sixty unanswered sends still finish the upload.
bool UpDspThread::SendClosingBlock() {
  const HeaderBlock closing = BuildClosingBlock();
  Port().FlushInBuffer();
  for (int sends = 0; sends < kMaxSends;) {
    PutEach(Port(), closing);
    if (!AwaitReply()) return false;
    const uint8_t reply = Take();
    if (reply == ACK) {
      closingAcknowledged_ = true;
      break;
    }
    if (Refused(reply, Discard::Received, "Trasf. file hr error!!!", "Trasf. disabled!!!")) {
      return false;
    }
    ++sends;
  }
  return true;
}

void UpDspThread::Finish() {
  std::vector<uint8_t>().swap(buffer_);
  FlushBoth();
  MarkFinished(closingAcknowledged_ ? TaskEnd::Confirmed : TaskEnd::Unconfirmed);
}

bool UpDspThread::Refused(uint8_t reply, Discard onCancel, const char* cancelLine,
                          const char* disabledLine) {
  if (reply == CAN) {
    if (onCancel == Discard::BothBuffers) {
      FlushBoth();
    } else {
      Port().FlushInBuffer();
    }
    Port().PutBlock(kCancelSequence, sizeof kCancelSequence);
    Log(cancelLine);
    return true;
  }
  if (reply == SUB) {
    Port().FlushInBuffer();
    Log(disabledLine);
    return true;
  }
  return false;
}

bool UpDspThread::AwaitReply() {
  switch (WaitSeconds(kReplyLimitSeconds)) {
    case WaitOutcome::ByteReady: return true;
    case WaitOutcome::TimedOut:
      Log("Timeout!!!");
      TheImageFile().Close();
      return false;
    case WaitOutcome::StopRequested: Fail(); return false;
  }
  return false;
}

void UpDspThread::Fail() {
  ShowBox(kProblemReadingText, kFileErrorTitle);
  TheImageFile().Close();
}

uint8_t UpDspThread::Take() {
  uint8_t byte = 0;
  TakeReceived(&byte, 1);
  return byte;
}

uint8_t UpDspThread::Peek() {
  uint8_t byte = 0;
  CopyReceived(&byte, 1);
  return byte;
}
