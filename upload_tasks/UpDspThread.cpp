// The DSP upload: a YMODEM-style batch of one file. First contact on the
// STB's 'C', a header block with the file's name and size, 1030-byte data
// blocks each answered 200 ms after it was queued, the EOT handshake and the
// empty closing block.

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Adexcept.h"
#include "Adport.h"
#include "Unit2.h"
#include "YmodemBlocks.h"

namespace {

using namespace std::chrono_literals;
using namespace ymodem;

// Whole-second limit of every wait for a reply that has one.
constexpr int kReplyLimitSeconds = 10;
// How long an STB may send bytes other than 'C' at first contact.
constexpr int kOtherBytesLimitSeconds = 3;
// Sends of one header block, data block, EOT or closing block.
constexpr int kMaxSends = 60;
// The STB answers a data block within this pause; its reply is read then.
constexpr auto kBlockReplyPause = 200ms;

// The header's size text is a signed 32-bit "%ld".
constexpr int64_t kMaxFileLength = INT32_MAX;

const std::string kProblemReadingText = "Problem reading from file.";

constexpr uint8_t kCancelSequence[] = {CAN, CAN, CAN};

// What a refusal discards before the CANs go out: in the data phase the
// block's unsent bytes go too.
enum class Discard { Received, BothBuffers };

std::string PacketLine(int32_t offset, int32_t size) {
  char line[96];
  std::snprintf(line, sizeof line, "Packet %d/%d OK, sent %dBytes",
                static_cast<int>(offset / static_cast<int32_t>(kDataFieldSize)),
                static_cast<int>(size / static_cast<int32_t>(kDataFieldSize)),
                static_cast<int>(offset));
  return line;
}

}  // namespace

UpDspThread::UpDspThread(TaskHost& host, TaskClock& clock)
    : TThread(host, clock, "UpDspThread", "Download task terminated!!!") {
  Start();
}

void UpDspThread::Execute() {
  ImageFile& file = TheImageFile();

  auto take = [&] {
    uint8_t byte = 0;
    TakeReceived(&byte, 1);
    return byte;
  };
  auto peek = [&] {
    uint8_t byte = 0;
    CopyReceived(&byte, 1);
    return byte;
  };
  auto putEach = [&](const auto& block) {
    for (uint8_t byte : block) Port().PutChar(byte);
  };
  // The STB's two refusals of a block: CAN, answered with three CANs, and
  // SUB. True when `reply` is one of them; its line is logged then, and the
  // task must end.
  auto refused = [&](uint8_t reply, Discard onCancel, const char* cancelLine,
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
  };

  // --- Start and first contact: a port failure or a stop ends the task
  // without a word of its own.
  try {
    FlushBoth();
    Log("Waiting for STB...");

    switch (WaitSeconds(kReplyLimitSeconds)) {
      case WaitOutcome::TimedOut:
        Log("Timeout!!!");
        return;
      case WaitOutcome::StopRequested:
        return;
      case WaitOutcome::ByteReady:
        break;
    }
    if (take() != CrcReady) {
      // Judged only after a byte: an STB that falls silent holds the task here
      // until a stop is requested.
      const int64_t firstOther = WholeSeconds();
      for (;;) {
        if (WaitWithoutLimit() == WaitOutcome::StopRequested) return;
        if (take() == CrcReady) break;
        if (WholeSeconds() > firstOther + kOtherBytesLimitSeconds) {
          Log("Timeout 2 !!!");
          return;
        }
      }
    }
    Log("connection established!!!");
  } catch (const Exception&) {
    return;
  }

  // --- Open the file. The task has sent nothing yet, so a file that cannot
  // be sent ends the task here with a box that names the problem, before a
  // header could announce a size the file does not have.
  const std::string path = Host().ChosenPath();
  const std::optional<int64_t> length = OpenImageForUpload(
      path, {0, "", kMaxFileLength, "a DSP file must be smaller than 2 GiB."});
  if (!length) return;
  const auto size = static_cast<int32_t>(*length);

  // --- From the header on, a port failure or a stop ends the task with the
  // failure box.
  auto fail = [&] {
    ShowBox(kProblemReadingText, kFileErrorTitle);
    file.Close();
  };
  // A wait for a reply with the 10-second limit; false when the task must end
  // (its line is logged or its box shown).
  auto awaitReply = [&] {
    switch (WaitSeconds(kReplyLimitSeconds)) {
      case WaitOutcome::ByteReady:
        return true;
      case WaitOutcome::TimedOut:
        Log("Timeout!!!");
        file.Close();
        return false;
      case WaitOutcome::StopRequested:
        fail();
        return false;
    }
    return false;
  };

  std::vector<uint8_t> buffer;
  try {
    // --- Header block. Stale bytes stay put: the STB's 'C's are its own
    // business, and a further 'C' simply counts as a failed send.
    const HeaderBlock header = BuildHeaderBlock(NameWithoutDirectory(path), size);
    for (int sends = 0;;) {
      Port().PutBlock(header.data(), static_cast<uint16_t>(header.size()));
      if (!awaitReply()) return;
      const uint8_t reply = take();
      if (reply == ACK) {
        if (WaitWithoutLimit() == WaitOutcome::StopRequested) {
          fail();
          return;
        }
        if (take() == CrcReady) break;
      } else if (refused(reply, Discard::Received, "Header transf. error!!!",
                         "Transf. disabled!!!")) {
        file.Close();
        return;
      }
      if (++sends >= kMaxSends) {
        Log("Transf. time expired!!!");
        file.Close();
        return;
      }
    }

    // --- Read the whole file. A short read would send zeros for content the
    // STB then takes as the file's, so it ends the task like a read failure.
    try {
      buffer.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      Log("Memory error!!!");
      file.Close();
      return;
    }
    if (size > 0 && file.Read(buffer.data(), buffer.size()) != static_cast<int64_t>(size)) {
      fail();
      return;
    }
    file.Close();
    FlushBoth();
    SetProgressPosition(0);
    SetProgressMin(0);
    SetProgressMax(size);

    // --- Data blocks. No wait here looks at a stop request; a closed port
    // ends the phase through its next operation.
    uint8_t blockNumber = 1;
    for (int32_t offset = 0; offset < size;) {
      const auto carried = static_cast<int32_t>(
          std::min<int64_t>(static_cast<int64_t>(kDataFieldSize), size - offset));
      const DataBlock block = BuildDataBlock(
          blockNumber, {buffer.data() + offset, static_cast<size_t>(carried)});
      ++blockNumber;

      bool accepted = false;
      for (int sends = 0; sends < kMaxSends;) {
        putEach(block);
        Pause(kBlockReplyPause);
        const uint8_t reply = take();
        if (reply == ACK) {
          Log(PacketLine(offset, size));
          StepProgressBy(carried);
          accepted = true;
          break;
        }
        if (refused(reply, Discard::BothBuffers, "Trasf. error!!!", "Trasf. disabled!!!")) return;
        ++sends;
        FlushBoth();
      }
      FlushBoth();
      if (!accepted) {
        Log("Trasf. time expired!!!");
        return;
      }
      offset += carried;
    }

    // --- End of transmission: the STB answers the first EOT with NAK. Sixty
    // unanswered EOTs still lead to the closing block.
    Port().FlushInBuffer();
    for (int sends = 0; sends < kMaxSends;) {
      Port().PutChar(EOT);
      if (!awaitReply()) return;
      const uint8_t reply = peek();
      take();
      if (reply == ACK) break;
      ++sends;
    }

    // --- Closing block; sixty unanswered sends still finish the upload.
    const HeaderBlock closing = BuildClosingBlock();
    Port().FlushInBuffer();
    for (int sends = 0; sends < kMaxSends;) {
      putEach(closing);
      if (!awaitReply()) return;
      const uint8_t reply = take();
      if (reply == ACK) break;
      if (refused(reply, Discard::Received, "Trasf. file hr error!!!", "Trasf. disabled!!!")) {
        return;
      }
      ++sends;
    }

    // --- Finish.
    std::vector<uint8_t>().swap(buffer);
    FlushBoth();
    MarkFinished();
  } catch (const Exception&) {
    fail();
  }
}
