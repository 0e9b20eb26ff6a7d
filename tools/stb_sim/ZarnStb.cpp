#include "ZarnStb.h"

#include <cstdio>

#include "SimCrc.h"

namespace stbsim {
namespace {

// While resynchronising after a broken packet, the STB takes the last word
// before the line falls quiet this long as the start of what comes next: the
// tool pauses after each PacketLength word and after EndOfImage.
constexpr std::chrono::milliseconds kResyncQuiet{40};

bool IsRequest(uint32_t word) { return (word & kDnRequestMask) == kDnRequest; }
bool IsPacketLength(uint32_t word) { return word >= kMinPacketLength && word <= kMaxPacketLength; }

std::string HexByte(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

}  // namespace

bool IsKnownTypeCode(uint8_t code) {
  return code == 0x01 || code == 0x02 || code == 0x04 || code == 0x08;
}

ZarnStb::ZarnStb(SimChannel& channel) : channel_(channel) {}

SessionEnd ZarnStb::RunOnce(bool firstSession) {
  const SimOptions& options = channel_.Options();
  if (firstSession && options.firstGreetingDelay.count() > 0)
    channel_.Line().SleepFor(options.firstGreetingDelay);
  try {
    uint32_t word = AwaitRequest();
    for (;;) {
      if (!HandleRequest(word)) {
        word = ScanForRequest();
        continue;
      }
      ReceiveHeader();
      word = ReceivePackets();
      if (word == kEndOfImage) return Flash();
    }
  } catch (const IdleTimeout&) {
    channel_.Event("nothing from the tool for " + std::to_string(options.idleRestart.count()) +
                   " ms: restarting");
    return SessionEnd::Restart;
  }
}

uint32_t ZarnStb::AwaitRequest() {
  const SimOptions& options = channel_.Options();
  for (;;) {
    const PlannedReply greeting = channel_.Plan(SimPhase::Greeting, greetings_++, options.greeting);
    channel_.Log().Change([](SimRecord& record) { ++record.greetings; });
    channel_.Send(greeting, "greeting");
    const auto until = options.greetInterval.count() > 0
                           ? SimLine::Clock::now() + options.greetInterval
                           : SimLine::Clock::time_point::max();
    if (channel_.Line().WaitReadable(until)) break;
  }
  return ScanForRequest();
}

uint32_t ZarnStb::ScanForRequest() {
  uint32_t window = 0;
  for (int count = 1;; ++count) {
    window = (window << 8) | channel_.ReadByte();
    if (count >= 4 && IsRequest(window)) return window;
  }
}

uint32_t ZarnStb::ReadWord() { return WordOf(channel_.ReadExact(4)); }

bool ZarnStb::HandleRequest(uint32_t word) {
  const uint8_t code = static_cast<uint8_t>(word & 0xFF);
  const int index = requests_++;
  if (!IsKnownTypeCode(code)) {
    channel_.Event("request for unknown type code " + HexByte(code) + " refused");
    channel_.Reply(SimPhase::RequestReply, index, BytesOf(kPacketBad), "request reply");
    return false;
  }
  channel_.Log().BeginUpload(SimMode::Zarn);
  channel_.Log().ChangeUpload([&](UploadRecord& upload) { upload.typeCode = code; });
  channel_.ResetVanishCount();
  headers_ = packets_ = acceptedChunks_ = 0;
  bodySize_ = 0;
  bodyReceived_ = 0;
  channel_.Event("request for type code " + HexByte(code));
  channel_.Reply(SimPhase::RequestReply, index, BytesOf(kDnAccept), "request reply");
  return true;
}

void ZarnStb::ReceiveHeader() {
  const std::vector<uint8_t> header = channel_.ReadExact(kImageHeaderSize);
  bodySize_ = WordOf(header, kBodySizeOffset);
  std::string nameTag;
  for (size_t i = kNameTagOffset; i < kImageHeaderSize && header[i] != 0; ++i)
    nameTag += static_cast<char>(header[i]);
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    upload.header = header;
    ++upload.headerSends;
  });
  channel_.Event("header: BodySize " + std::to_string(bodySize_) + ", NameTag \"" + nameTag + "\"");
  channel_.Reply(SimPhase::HeaderReply, headers_++, BytesOf(kHeaderAccept), "header reply");
}

uint32_t ZarnStb::ReceivePackets() {
  uint32_t word = ReadWord();
  for (;;) {
    if (word == kEndOfImage || IsRequest(word)) return word;
    if (IsPacketLength(word)) {
      word = ReceivePacket(word) ? ReadWord() : Resync();
      continue;
    }
    channel_.Event("word " + Hex(BytesOf(word)) + " where a packet should begin");
    word = Resync();
  }
}

bool ZarnStb::ReceivePacket(uint32_t lengthWord) {
  ZarnPacket packet;
  packet.lengthWord = lengthWord;
  packet.lengthOk = true;
  const std::vector<uint8_t> payload = channel_.ReadExact(lengthWord);
  const std::vector<uint8_t> end = channel_.ReadExact(4);
  const size_t n = lengthWord - 4;
  packet.raw = BytesOf(lengthWord);
  packet.raw.insert(packet.raw.end(), payload.begin(), payload.end());
  packet.raw.insert(packet.raw.end(), end.begin(), end.end());
  packet.data.assign(payload.begin(), payload.begin() + static_cast<long>(n));
  packet.crc = WordOf(payload, n);
  packet.endWord = WordOf(end);
  packet.crcOk = BitwiseCrc32(packet.data.data(), n) == packet.crc;
  packet.endOk = packet.endWord == kPacketEnd;
  packet.chunk = acceptedChunks_;

  const bool good = packet.crcOk && packet.endOk;
  const std::vector<uint8_t> bad = BytesOf(kPacketBad);
  const std::string what = "packet " + std::to_string(packets_++) + " (" + std::to_string(n) +
                           " bytes, chunk " + std::to_string(packet.chunk) +
                           (good           ? ""
                            : packet.endOk ? ", CRC wrong"
                                           : ", no PacketEnd") +
                           ")";
  const PlannedReply reply = channel_.Plan(SimPhase::PacketReply, packet.chunk,
                                           good ? channel_.Options().acceptWord : bad);
  packet.accepted = reply.bytes != bad;
  const bool framed = packet.endOk;
  if (packet.accepted) {
    ++acceptedChunks_;
    bodyReceived_ += n;
  }
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    if (packet.accepted)
      upload.body.insert(upload.body.end(), packet.data.begin(), packet.data.end());
    upload.packets.push_back(std::move(packet));
  });
  channel_.Send(reply, what);
  return framed;
}

uint32_t ZarnStb::Resync() {
  channel_.Event("lost the packet framing: waiting for a pause on the line");
  std::vector<uint8_t> last;
  auto keep = [&](uint8_t byte) {
    last.push_back(byte);
    if (last.size() > 4) last.erase(last.begin());
  };
  keep(channel_.ReadByte());
  for (;;) {
    const auto byte = channel_.ReadByteUntil(SimLine::Clock::now() + kResyncQuiet);
    if (byte) {
      keep(*byte);
      continue;
    }
    if (last.size() == 4) {
      const uint32_t word = WordOf(last);
      if (word == kEndOfImage || IsRequest(word) || IsPacketLength(word)) {
        channel_.Event("framing found again at " + Hex(last));
        return word;
      }
    }
    keep(channel_.ReadByte());
  }
}

SessionEnd ZarnStb::Flash() {
  const SimOptions& options = channel_.Options();
  const bool complete = bodyReceived_ == bodySize_;
  channel_.Log().ChangeUpload([](UploadRecord& upload) { upload.endOfImage = true; });
  channel_.Event("end of image: " + std::to_string(bodyReceived_) + " of " +
                 std::to_string(bodySize_) + " body bytes");
  const int index = finished_++;
  channel_.Reply(SimPhase::FlashStart, index, BytesOf(kFlashStart), "flash start");
  channel_.Line().SleepFor(options.flashTime);
  // An incomplete body is not written: the STB keeps its old image.
  const bool ok = complete && !options.flashError;
  if (!complete) channel_.Event("body incomplete: flash not written");
  const PlannedReply reply =
      channel_.Plan(SimPhase::FlashDone, index, BytesOf(ok ? kFlashOk : kFlashErr));
  channel_.Log().ChangeUpload([&](UploadRecord& upload) {
    upload.flashOk = reply.bytes == BytesOf(kFlashOk);
    upload.finished = true;
  });
  channel_.Log().Change([](SimRecord& record) { ++record.finishedUploads; });
  channel_.Send(reply, "flash done");
  channel_.Line().SleepFor(options.restartTime);
  return SessionEnd::Finished;
}

}  // namespace stbsim
