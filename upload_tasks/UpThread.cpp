// The ZARN command-word upload: greeting, typed request, header, body packets
// with their CRC-32, end word, flash and restart reports.

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Adexcept.h"
#include "Adport.h"
#include "BigEndian.h"
#include "Crc32.h"
#include "Unit2.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;

// Whole-second limits of the waits.
constexpr int kFirstByteLimitSeconds = 10;
constexpr int kGreetingLimitSeconds = 5;
constexpr int kReplyLimitSeconds = 5;
constexpr int kFlashLimitSeconds = 30;

// Fixed pauses; the STB's firmware is paced by them.
constexpr auto kGreetingRestPause = 50ms;       // lets 'G' 'S' follow the 'K'
constexpr auto kAfterGreetingPause = 150ms;
constexpr auto kReplyPause = 50ms;              // lets a whole reply word arrive
constexpr auto kBeforeHeaderPause = 550ms;
constexpr auto kAfterHeaderPause = 120ms;
constexpr auto kAfterPacketLengthPause = 550ms;
constexpr auto kAfterPacketDataPause = 120ms;
constexpr auto kAfterPacketEndPause = 120ms;
constexpr auto kBeforeEndOfImagePause = 350ms;

// Sends of one chunk before the upload gives up.
constexpr int kMaxSendsPerChunk = 3;

// The STB holds an image's length as a signed 32-bit value.
constexpr int64_t kMaxImageLength = INT32_MAX;

const std::string kFailureTitle = "Error!";

}  // namespace

UpThread::UpThread(TaskHost& host, TaskClock& clock)
    : TThread(host, clock, "UpThread", "Upload task terminated!!!") {
  Start();
}

void UpThread::Execute() {
  uint8_t command[zarn::kWordSize] = {};
  ImageFile& file = TheImageFile();

  auto sendWord = [&](uint32_t word) {
    WriteBigEndian32(command, word);
    Port().PutBlock(command, zarn::kWordSize);
  };
  auto commandWord = [&] { return ReadBigEndian32(command); };

  // --- Start, first byte, greeting: a port failure here ends the task quietly.
  try {
    FlushBoth();
    Log("Waiting for STB...");

    if (WaitSeconds(kFirstByteLimitSeconds) == WaitOutcome::TimedOut) {
      // A silent STB may still be listening: try the request all the same.
      Log("Timeout!!!");
    } else {
      const int64_t start = WholeSeconds();
      while (!StopRequested()) {
        if (Port().CharReady()) {
          TakeReceived(command, 1);
          if (command[0] == zarn::kGreeting[0]) {
            Pause(kGreetingRestPause);
            CopyReceived(command + 1, 2);
            break;
          }
        }
        if (WholeSeconds() > start + kGreetingLimitSeconds) {
          Log("Level 2: Timeout!!!");
          break;
        }
        if (!Port().CharReady()) WaitForInputSlice();
      }
      if (std::memcmp(command, zarn::kGreeting, sizeof zarn::kGreeting) != 0) return;
    }

    FlushBoth();  // also drops the two greeting bytes that were only copied
    Pause(kAfterGreetingPause);
  } catch (const Exception&) {
    return;
  }

  // --- Open the file. Nothing has been sent yet, so every problem ends the
  // task here with a box that names it.
  const std::optional<int64_t> measured = OpenImageForUpload(
      Host().ChosenPath(),
      {static_cast<int64_t>(zarn::kHeaderSize), "an image starts with a 64-byte header.",
       kMaxImageLength, "an image must be smaller than 2 GiB."});
  if (!measured) return;
  const int64_t length = *measured;

  // --- The protected section: from here to the finish a port failure, a
  // time-out or a stop ends the task with the failure box.
  std::string failureText = "Initialisation error";
  auto fail = [&] {
    file.Close();
    ShowBox(failureText, kFailureTitle);
  };
  // A wait for a reply; false when the task must end (the box is shown).
  auto awaitReply = [&](int limitSeconds, const char* timeoutLine) {
    switch (WaitSeconds(limitSeconds)) {
      case WaitOutcome::ByteReady:
        return true;
      case WaitOutcome::TimedOut:
        Log(timeoutLine);
        break;
      case WaitOutcome::StopRequested:
        break;
    }
    fail();
    return false;
  };

  try {
    uint8_t header[zarn::kHeaderSize];
    if (file.Read(header, sizeof header) != static_cast<int64_t>(sizeof header)) {
      fail();
      return;
    }
    const auto bodyLength = static_cast<uint32_t>(length - static_cast<int64_t>(zarn::kHeaderSize));
    if (zarn::BodySize(header) != bodyLength) {
      WriteBigEndian32(header + zarn::kBodySizeOffset, bodyLength);
    }

    const std::optional<uint8_t> typeCode = zarn::TypeCodeForNameTag(zarn::NameTag(header));
    if (!typeCode) {
      ShowBox("Uknown file!!!", kFileErrorTitle);
      file.Close();
      return;
    }
    sendWord(zarn::DnRequest | *typeCode);
    Log("Initializing Upload task...");

    if (!awaitReply(kReplyLimitSeconds, "Timeout!!!")) return;
    Pause(kReplyPause);
    CopyReceived(command, zarn::kWordSize);
    if (commandWord() != zarn::DnAccept) {
      Log("Bad STB response! Aborting...");
      ShowBox("Bad STB response! Aborting ...", "Error");
      file.Close();
      return;
    }

    Pause(kBeforeHeaderPause);
    FlushBoth();  // drops the DnAccept word, which was only copied
    Port().PutBlock(header, sizeof header);
    Pause(kAfterHeaderPause);

    if (!awaitReply(kReplyLimitSeconds, "Timeout!!!")) return;
    // Copied, not taken: the first packet is judged by this word.
    CopyReceived(command, zarn::kWordSize);
    if (commandWord() != zarn::HeaderAccept) {
      ShowBox("STB rejected file type!!!", "Communication Error");
      file.Close();
      return;
    }

    SetProgressPosition(0);
    SetProgressMin(0);
    SetProgressMax(static_cast<int>(zarn::BodySize(header)));
    failureText = "Communication error";

    // Each packet is judged by the oldest word waiting, which in a smooth run
    // is the STB's answer to the packet before; the STB's pacing relies on it.
    std::vector<uint8_t> packet(zarn::kPacketBufferSize);
    int packetCounter = 0;
    // Only the length measured at the start is sent, so a file that shrinks
    // or grows meanwhile cannot make the body disagree with BodySize.
    uint32_t remaining = bodyLength;
    for (;;) {
      // A stopped upload must not send EndOfImage: the STB would take the
      // partial body for the whole image.
      if (StopRequested()) {
        fail();
        return;
      }
      if (remaining == 0) break;
      const auto chunk = static_cast<uint16_t>(std::min<uint32_t>(remaining, zarn::kMaxChunk));
      if (file.Read(packet.data(), chunk) != chunk) {
        fail();
        return;
      }
      remaining -= chunk;

      for (int sends = 0;;) {
        WriteBigEndian32(packet.data() + chunk, Crc32(packet.data(), chunk));
        sendWord(chunk + static_cast<uint32_t>(zarn::kCrcSize));
        Pause(kAfterPacketLengthPause);
        Port().PutBlock(packet.data(), static_cast<uint16_t>(chunk + zarn::kCrcSize));
        Pause(kAfterPacketDataPause);
        sendWord(zarn::PacketEnd);
        Pause(kAfterPacketEndPause);

        if (!awaitReply(kReplyLimitSeconds, "Timeout!!!")) return;
        TakeReceived(command, zarn::kWordSize);
        if (commandWord() != zarn::PacketBad) {
          Log(zarn::PacketLine(packetCounter, true));
          ++packetCounter;
          break;
        }
        Log(zarn::PacketLine(packetCounter, false));
        FlushBoth();
        if (++sends >= kMaxSendsPerChunk) {
          file.Close();
          FlushBoth();
          Log("Too many errors!!! Aborting...");
          ShowBox("Communication error!!!", "Error");
          return;
        }
      }
      StepProgressBy(chunk);
    }

    file.Close();
    failureText = "TimeOut waiting for STB!";
    Pause(kBeforeEndOfImagePause);
    sendWord(zarn::EndOfImage);

    // The answer to the last packet, or a late one: not examined.
    if (!awaitReply(kReplyLimitSeconds, "Level 3: Timeout!!!")) return;
    Pause(kReplyPause);
    TakeReceived(command, zarn::kWordSize);

    if (!awaitReply(kReplyLimitSeconds, "Level 3: Timeout!!!")) return;
    Pause(kReplyPause);
    TakeReceived(command, zarn::kWordSize);
    if (commandWord() == zarn::FlashStart) Log("Writing to FLASH, please wait...");

    if (!awaitReply(kFlashLimitSeconds, "Level 4: Timeout!!!")) return;
    Pause(kReplyPause);
    TakeReceived(command, zarn::kWordSize);
    if (const std::optional<std::string> report = zarn::FinalWordReport(command)) Log(*report);

    SetProgressPosition(0);
    FlushBoth();
    MarkFinished();
  } catch (const Exception&) {
    fail();
  }
}
