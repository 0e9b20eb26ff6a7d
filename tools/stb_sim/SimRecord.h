// What the simulated STB has received and done: one record per upload, plus a
// log of events. Tests read copies of these (StbSimulator::Snapshot and
// friends); the simulator's thread writes the originals under its lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "SimOptions.h"

namespace stbsim {

// One packet of the ZARN upload as it came off the line.
struct ZarnPacket {
  std::vector<uint8_t> raw;   // every byte: PacketLength word, data, CRC-32, PacketEnd word
  uint32_t lengthWord = 0;    // the PacketLength word (n + 4)
  std::vector<uint8_t> data;  // the n data bytes
  uint32_t crc = 0;           // the CRC-32 as it came (big-endian on the line)
  uint32_t endWord = 0;       // the word that came where PacketEnd belongs
  bool lengthOk = false;      // 5 to 8192
  bool crcOk = false;         // the CRC-32 matches the data
  bool endOk = false;         // the end word is PacketEnd
  int chunk = 0;              // the chunk the STB expected when it came
  bool accepted = false;      // the STB kept it (it did not answer PacketBad)
};

// One block of the DSP transfer as it came off the line.
struct DspBlock {
  std::vector<uint8_t> raw;  // 133 bytes (header, closing block) or 1030 (data block)
  uint8_t number = 0;        // the block number byte
  bool ok = false;           // start byte, number, complement, CRC-16, trailing 0x00 all right
  bool accepted = false;     // the STB acknowledged it (ACK)
};

// One upload: a ZARN image from DnRequest on, or a DSP file from its first
// header block on.
struct UploadRecord {
  SimMode mode = SimMode::Zarn;
  bool finished = false;  // the STB's side is complete (FlashDone sent; closing block ACKed)
  int canReceived = 0;    // CAN bytes taken at a block boundary or after the STB gave up

  // ZARN
  uint8_t typeCode = 0;             // from the accepted DnRequest
  std::vector<uint8_t> header;      // the last 64-byte header received
  int headerSends = 0;              // headers received
  std::vector<ZarnPacket> packets;  // every packet, rejected ones included
  std::vector<uint8_t> body;        // the data of the accepted packets, in order
  bool endOfImage = false;          // EndOfImage came
  bool flashOk = false;             // the flash phase reported FlashOk (not FlashErr)
  // Header and body as received: what a flash write would hold.
  std::vector<uint8_t> Image() const;

  // DSP
  std::vector<DspBlock> headerBlocks;   // every header block received
  std::string dspName;                  // from the accepted header block
  int64_t dspSize = -1;                 // from the accepted header block (-1: none)
  std::vector<DspBlock> dataBlocks;     // every data block, rejected ones included
  int earlyBlocks = 0;                  // paced STB: blocks lost while it was writing
  std::vector<uint8_t> dspFile;         // accepted data, trimmed to dspSize at the end
  int eotCount = 0;                     // EOTs received
  std::vector<DspBlock> closingBlocks;  // every closing block received
  // Paced STB: when it has written the last accepted data block away and
  // takes the next (its steady clock; unset before the first accepted block).
  std::chrono::steady_clock::time_point writtenAwayAt{};
};

struct SimEvent {
  std::chrono::steady_clock::time_point at;
  std::string text;
};

struct SimRecord {
  std::vector<UploadRecord> uploads;  // oldest first; the last is the latest
  std::vector<SimEvent> events;
  int greetings = 0;        // ZARN greetings sent
  int contactCs = 0;        // DSP first-contact 'C's sent
  int finishedUploads = 0;  // uploads whose STB side completed
  int64_t bytesReceived = 0;
  bool lineClosed = false;  // the STB vanished (or the simulator stopped)
  bool running = false;     // the simulator's thread runs
};

}  // namespace stbsim
