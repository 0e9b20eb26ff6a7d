// The ZARN command-word upload: greeting, typed request, header, body packets
// with their CRC-32, end word, flash and restart reports.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Adexcept.h"
#include "Adport.h"
#include "BigEndian.h"
#include "Crc32.h"
#include "ProtocolPauses.h"
#include "Unit2.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;

// Whole-second limits of the waits.
constexpr int kFirstByteLimitSeconds = 10;
constexpr int kGreetingLimitSeconds = 5;
constexpr int kReplyLimitSeconds = 5;
constexpr int kFlashLimitSeconds = 30;

// The fixed pauses (kReplyPause, kBeforeHeaderPause, ...) are the
// protocol's: ProtocolPauses.h.
using namespace zarn;

// Sends of one chunk before the upload gives up.
constexpr int kMaxSendsPerChunk = 3;

const std::string kFailureTitle = "Error!";

}  // namespace

UpThread::UpThread(TaskHost& host, TaskClock& clock)
    : TThread(host, clock, "UpThread", "Upload task terminated!!!") {
  Start();
}

// The greeting and everything before it may fail on the port without a word;
// from the header copy on, every ending shows the failure box.
void UpThread::Execute() {
  try {
    if (!Greet()) return;
  } catch (const Exception&) {
    return;
  }
  if (!OpenImage()) return;
  try {
    if (!CopyHeader()) return;
    if (!Request()) return;
    if (!SendHeader()) return;
    if (!SendPackets()) return;
    if (!SendEndWord()) return;
    if (!AwaitFlashReplies()) return;
    Finish();
  } catch (const Exception&) {
    Fail();
  }
}

bool UpThread::Greet() {
  FlushBoth();
  Log("Waiting for STB...");
  if (WaitSeconds(kFirstByteLimitSeconds) == WaitOutcome::TimedOut) {
    // A silent STB may still be listening: try the request all the same.
    Log("Timeout!!!");
  } else if (!ReadGreeting()) {
    return false;
  }
  FlushBoth();  // also drops the two greeting bytes that were only copied
  Pause(kAfterGreetingPause);
  return true;
}

bool UpThread::ReadGreeting() {
  const int64_t start = WholeSeconds();
  while (!StopRequested()) {
    if (Port().CharReady()) {
      TakeReceived(command_, 1);
      if (command_[0] == zarn::kGreeting[0]) {
        Pause(kGreetingRestPause);
        CopyReceived(command_ + 1, 2);
        break;
      }
    }
    if (WholeSeconds() > start + kGreetingLimitSeconds) {
      Log("Level 2: Timeout!!!");
      break;
    }
    if (!Port().CharReady()) WaitForInputSlice();
  }
  return std::memcmp(command_, zarn::kGreeting, sizeof zarn::kGreeting) == 0;
}

// Nothing has been sent yet, so every problem ends the task here with a box
// that names it.
bool UpThread::OpenImage() {
  const std::optional<int64_t> measured =
      OpenImageForUpload(Host().ChosenPath(), UploadProtocol::Zarn);
  if (!measured) return false;
  length_ = *measured;
  return true;
}

bool UpThread::CopyHeader() {
  if (TheImageFile().Read(header_, sizeof header_) != static_cast<int64_t>(sizeof header_)) {
    Fail();
    return false;
  }
  bodyLength_ = static_cast<uint32_t>(length_ - static_cast<int64_t>(zarn::kHeaderSize));
  if (zarn::BodySize(header_) != bodyLength_) {
    WriteBigEndian32(header_ + zarn::kBodySizeOffset, bodyLength_);
  }
  return true;
}

bool UpThread::Request() {
  const std::optional<uint8_t> typeCode = zarn::TypeCodeForNameTag(zarn::NameTag(header_));
  if (!typeCode) {
    ShowBox("Uknown file!!!", kFileErrorTitle);
    TheImageFile().Close();
    return false;
  }
  SendWord(zarn::DnRequest | *typeCode);
  Log("Initializing Upload task...");

  if (!AwaitReply(kReplyLimitSeconds, "Timeout!!!")) return false;
  Pause(kReplyPause);
  CopyReceived(command_, zarn::kWordSize);
  if (CommandWord() != zarn::DnAccept) {
    Log("Bad STB response! Aborting...");
    ShowBox("Bad STB response! Aborting ...", "Error");
    TheImageFile().Close();
    return false;
  }
  return true;
}

bool UpThread::SendHeader() {
  Pause(kBeforeHeaderPause);
  FlushBoth();  // drops the DnAccept word, which was only copied
  Port().PutBlock(header_, sizeof header_);
  Pause(kAfterHeaderPause);

  if (!AwaitReply(kReplyLimitSeconds, "Timeout!!!")) return false;
  // Copied, not taken: the first packet is judged by this word.
  CopyReceived(command_, zarn::kWordSize);
  if (CommandWord() != zarn::HeaderAccept) {
    ShowBox("STB rejected file type!!!", "Communication Error");
    TheImageFile().Close();
    return false;
  }
  return true;
}

// Each packet is judged by the oldest word waiting, which in a smooth run is
// the STB's answer to the packet before; the STB's pacing relies on it.
bool UpThread::SendPackets() {
  SetProgressPosition(0);
  SetProgressMin(0);
  SetProgressMax(static_cast<int>(zarn::BodySize(header_)));
  failureText_ = "Communication error";

  packet_.assign(zarn::kPacketBufferSize, 0);
  // Only the length measured at the start is sent, so a file that shrinks or
  // grows meanwhile cannot make the body disagree with BodySize.
  uint32_t remaining = bodyLength_;
  for (;;) {
    // A stopped upload must not send EndOfImage: the STB would take the
    // partial body for the whole image.
    if (StopRequested()) {
      Fail();
      return false;
    }
    if (remaining == 0) return true;
    const auto chunk = static_cast<uint16_t>(std::min<uint32_t>(remaining, zarn::kMaxChunk));
    if (TheImageFile().Read(packet_.data(), chunk) != chunk) {
      Fail();
      return false;
    }
    remaining -= chunk;
    if (!SendChunkWithResend(chunk)) return false;
    StepProgressBy(chunk);
  }
}

bool UpThread::SendChunkWithResend(uint16_t chunk) {
  for (int sends = 0;;) {
    SendPacket(chunk);
    if (!AwaitReply(kReplyLimitSeconds, "Timeout!!!")) return false;
    TakeReceived(command_, zarn::kWordSize);
    if (CommandWord() != zarn::PacketBad) {
      Log(zarn::PacketLine(packetCounter_, true));
      ++packetCounter_;
      return true;
    }
    Log(zarn::PacketLine(packetCounter_, false));
    FlushBoth();
    if (++sends >= kMaxSendsPerChunk) {
      TheImageFile().Close();
      FlushBoth();
      Log("Too many errors!!! Aborting...");
      ShowBox("Communication error!!!", "Error");
      return false;
    }
  }
}

void UpThread::SendPacket(uint16_t chunk) {
  WriteBigEndian32(packet_.data() + chunk, Crc32(packet_.data(), chunk));
  SendWord(chunk + static_cast<uint32_t>(zarn::kCrcSize));
  Pause(kAfterPacketLengthPause);
  Port().PutBlock(packet_.data(), static_cast<uint16_t>(chunk + zarn::kCrcSize));
  Pause(kAfterPacketDataPause);
  SendWord(zarn::PacketEnd);
  Pause(kAfterPacketEndPause);
}

bool UpThread::SendEndWord() {
  TheImageFile().Close();
  failureText_ = "TimeOut waiting for STB!";
  Pause(kBeforeEndOfImagePause);
  SendWord(zarn::EndOfImage);

  // The answer to the last packet, or a late one: not examined.
  if (!AwaitReply(kReplyLimitSeconds, "Level 3: Timeout!!!")) return false;
  Pause(kReplyPause);
  TakeReceived(command_, zarn::kWordSize);
  return true;
}

bool UpThread::AwaitFlashReplies() {
  if (!AwaitReply(kReplyLimitSeconds, "Level 3: Timeout!!!")) return false;
  Pause(kReplyPause);
  TakeReceived(command_, zarn::kWordSize);
  if (CommandWord() == zarn::FlashStart) Log("Writing to FLASH, please wait...");

  if (!AwaitReply(kFlashLimitSeconds, "Level 4: Timeout!!!")) return false;
  Pause(kReplyPause);
  TakeReceived(command_, zarn::kWordSize);
  if (const std::optional<std::string> report = zarn::FinalWordReport(command_)) Log(*report);
  return true;
}

void UpThread::Finish() {
  SetProgressPosition(0);
  FlushBoth();
  // Only FlashOk says the image is in the flash; a restart greeting, a 'C' or
  // an unknown word leaves it open, and FlashErr says it failed.
  switch (CommandWord()) {
    case zarn::FlashOk: MarkFinished(TaskEnd::Confirmed); break;
    case zarn::FlashErr: MarkFinished(TaskEnd::FlashError); break;
    default: MarkFinished(TaskEnd::Unconfirmed); break;
  }
}

bool UpThread::AwaitReply(int limitSeconds, const char* timeoutLine) {
  switch (WaitSeconds(limitSeconds)) {
    case WaitOutcome::ByteReady: return true;
    case WaitOutcome::TimedOut: Log(timeoutLine); break;
    case WaitOutcome::StopRequested: break;
  }
  Fail();
  return false;
}

void UpThread::Fail() {
  TheImageFile().Close();
  ShowBox(failureText_, kFailureTitle);
}

void UpThread::SendWord(uint32_t word) {
  WriteBigEndian32(command_, word);
  Port().PutBlock(command_, zarn::kWordSize);
}

uint32_t UpThread::CommandWord() const { return ReadBigEndian32(command_); }
