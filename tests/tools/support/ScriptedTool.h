// The tool's end of the line in the simulator's tests: opens the
// simulator's pseudo-terminal like a serial port and sends hand-built bytes.
//
// Threads: one test thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class ScriptedTool {
 public:
  // Opens `device` raw; fails the calling test when it cannot.
  explicit ScriptedTool(const std::string& device);
  ~ScriptedTool();
  ScriptedTool(const ScriptedTool&) = delete;
  ScriptedTool& operator=(const ScriptedTool&) = delete;

  void Send(const std::vector<uint8_t>& bytes);
  // Up to `count` bytes: returns early with fewer when `timeout` passes.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout);
  // The bytes waiting now, without waiting for more.
  std::vector<uint8_t> Waiting();
  // Drops every byte waiting.
  void Flush();
  // The line has gone (the far end closed it): a read reports hang-up or an error.
  bool HungUp(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

// Words and blocks as the tool builds them.
std::vector<uint8_t> Word(uint32_t word);
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts);
// PacketLength, data + CRC-32, PacketEnd: one packet exactly as the tool sends it.
std::vector<uint8_t> ZarnPacketBytes(const std::vector<uint8_t>& data);
// A 64-byte image header with `bodySize` at 16 and `nameTag` at 32.
std::vector<uint8_t> ZarnHeader(uint32_t bodySize, const std::string& nameTag);
// The 133-byte DSP header block for `name` and `size`.
std::vector<uint8_t> DspHeaderBlock(const std::string& name, int64_t size);
// The 1030-byte data block `number` carrying `data` (at most 1024 bytes, zero-padded).
std::vector<uint8_t> DspDataBlock(uint8_t number, const std::vector<uint8_t>& data);
std::vector<uint8_t> DspClosingBlock();
// Bytes 0, 1, 2, ... wrapping at 251 (a prime, so blocks differ).
std::vector<uint8_t> Pattern(size_t length, uint8_t seed = 0);
