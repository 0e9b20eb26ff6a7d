// How the simulated STB behaves: which side it plays, its timing, and the
// faults it is told to commit.
//
// Plain values; copy them freely. A StbSimulator takes its options once, at
// construction.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stbsim {

// The side the STB plays: the command-word image receiver ("ZARN mode", greets
// with 'K' 'G' 'S') or the DSP block receiver (asks with 'C').
enum class SimMode { Zarn, Dsp };

// DSP: the pacing of data blocks the STB is built for.
//  Fast:  it takes each block as soon as it comes (a block may follow its
//         predecessor's ACK at once).
//  Paced: it relies on the tool's 200 ms per block: after acknowledging a
//         block it writes it away for `pacedWriteTime` and cannot take a block
//         meanwhile; one that starts arriving then is lost and answered NAK.
enum class SimDspPacing { Fast, Paced };

// Every moment at which the STB sends something. A Fault names one of them.
enum class SimPhase {
  // ZARN side
  Greeting,      // the greeting, sent when ready and repeated while nobody asks
  RequestReply,  // the answer to DnRequest (DnAccept)
  HeaderReply,   // the answer to the 64-byte header (HeaderAccept)
  PacketReply,   // the answer to one packet (an accept word, or PacketBad)
  FlashStart,    // the answer to EndOfImage (FlashStart)
  FlashDone,     // the end of flash writing (FlashOk), before the restart
  // DSP side
  ContactC,        // a 'C' of first contact, repeated until the header comes
  DspHeaderReply,  // the answer to the header block (ACK 'C')
  BlockReply,      // the answer to a data block (ACK)
  EotReply,        // the answer to an EOT (NAK to the first, ACK to the second)
  ClosingReply,    // the answer to the closing block (ACK)
};

enum class FaultKind {
  Replace,            // send `bytes` instead of the normal answer; empty bytes: stay silent
  Garbage,            // send `bytes` just before the normal answer (a separate write)
  FlipBits,           // XOR every byte of the answer with `flipMask`
  Late,               // wait `delay` before answering
  Vanish,             // close the line (the pseudo-terminal's master) instead of answering
  HangUpAfterAnswer,  // answer, then close the line once the answer had `delay` to arrive
};

inline constexpr int kAnyIndex = -1;
inline constexpr int kForever = -1;

// One fault. It hits the answers of `phase` whose index matches, `times` times
// (kForever: every time). Several faults may hit one answer; they apply in
// list order (Late and Garbage first in time, then Replace, then FlipBits).
//
// The index of an answer:
//   Greeting      greetings sent since the simulator started, from 0
//   RequestReply  requests received since the simulator started, from 0
//   HeaderReply   headers received in the current upload, from 0
//   PacketReply   the chunk the STB expects, from 0: the number of packets it
//                 has accepted in this upload. A rejected packet leaves the
//                 number where it is, so {PacketReply, 2, Replace PacketBad,
//                 times 3} rejects the next three packets once two are in.
//   FlashStart, FlashDone  uploads finished since the simulator started, from 0
//   ContactC      'C's sent in the current wait for a header, from 0
//   DspHeaderReply header blocks received in the current transfer, from 0
//   BlockReply    the data block the STB expects, from 0 (block number 1 is
//                 index 0); a rejected block leaves the index where it is
//   EotReply      EOTs received in the current transfer, from 0
//   ClosingReply  closing blocks received in the current transfer, from 0
//
// What the STB does after a replaced answer follows from what it sent:
//   ZARN: a packet answered with PacketBad is dropped, any other answer keeps
//   it; every other phase goes on as if it had answered normally.
//   DSP: an answer that begins with ACK accepts, CAN or SUB ends the transfer
//   (the STB then only counts the CANs it receives until it restarts), any
//   other answer (NAK, a lone 'C', silence) rejects.
struct Fault {
  SimPhase phase = SimPhase::PacketReply;
  int index = kAnyIndex;
  FaultKind kind = FaultKind::Replace;
  std::vector<uint8_t> bytes;
  uint8_t flipMask = 0x01;
  std::chrono::milliseconds delay{0};
  int times = 1;
};

// Line timing of the simulated serial line.
inline constexpr int kDefaultBaud = 115200;
inline constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

struct SimOptions {
  SimMode mode = SimMode::Zarn;
  // The mode the STB comes back in after it has written its flash (ZARN) or
  // received a whole file (DSP). Same as `mode` unless told otherwise.
  std::optional<SimMode> comeBackIn;

  // Pace the line at `baud`: what the STB sends leaves no faster, and what it
  // receives is taken no faster, than `baud` / 10 bytes per second.
  bool pace = false;
  int baud = kDefaultBaud;

  // ZARN: the greeting, sent at start (after firstGreetingDelay) and again
  // every greetInterval until a byte comes from the tool (0: only once).
  std::vector<uint8_t> greeting = {'K', 'G', 'S'};
  std::chrono::milliseconds firstGreetingDelay{0};
  std::chrono::milliseconds greetInterval{1000};
  // ZARN: the word that accepts a packet (anything but PacketBad).
  std::vector<uint8_t> acceptWord = {0xAB, 0x41, 0x43, 0x4B};
  // ZARN: how long the flash writing takes, and the pause between FlashOk and
  // the greeting of the restarted STB.
  std::chrono::milliseconds flashTime{300};
  std::chrono::milliseconds restartTime{200};
  // ZARN: answer EndOfImage's flash with FlashErr instead of FlashOk.
  bool flashError = false;

  // DSP: the interval of the 'C's of first contact.
  std::chrono::milliseconds cInterval{1000};
  // DSP: the block pacing the STB expects, and how long a paced STB writes an
  // accepted block away (the tool's pause leaves it about 110 ms at 115200 bps).
  SimDspPacing dspPacing = SimDspPacing::Fast;
  std::chrono::milliseconds pacedWriteTime{100};
  // DSP: a slow STB answers each data block only this long after it came.
  std::chrono::milliseconds blockReplyDelay{0};
  // DSP: after ending a transfer with CAN or SUB, the STB takes what the tool
  // still sends (its three CANs) until the line has been quiet this long.
  std::chrono::milliseconds abortQuiet{500};

  // An upload that stalls (no byte from the tool) this long is given up and
  // the STB restarts: greets again, or asks with 'C' again. 0: never.
  std::chrono::milliseconds idleRestart{15000};

  // After an upload has finished and the STB has restarted, take the next
  // upload (true) or stop the simulator (false; the line stays open).
  bool loop = true;

  // Close the line after this many bytes have come from the tool since the
  // last request or header (-1: never): the STB vanishes mid-transfer.
  int64_t vanishAfterBytes = -1;
  // Take this many bytes from the tool in all, counted from the start and
  // never reset, then close the line when the next byte arrives (-1: never).
  // Every answer the taken bytes call for goes out first, so the tool is
  // always in a known step when the line dies: the step that sent byte
  // vanishAtByte + 1. A whole session's count lets the session complete.
  int64_t vanishAtByte = -1;

  std::vector<Fault> faults;

  // Create the "COM<n>" link (lowest free n in 31..50) to the line in the
  // port link folder, removed again at the end. `portDir` overrides the
  // folder's usual rule when not empty.
  bool makePortLink = false;
  std::string portDir;

  // The serial device to play on instead of a pseudo-terminal pair (see
  // SimLine): "COM6", or on POSIX systems also a path ("/dev/ttyUSB0"). Such
  // a line needs no port link: the tool opens the device at the cable's or
  // the virtual null-modem's other end.
  std::string device;

  SimMode ComeBackMode() const { return comeBackIn.value_or(mode); }
};

}  // namespace stbsim
