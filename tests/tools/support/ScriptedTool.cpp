#include "ScriptedTool.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "SimCrc.h"

ScriptedTool::ScriptedTool(const std::string& device) {
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(fd_, 0) << device << ": " << std::strerror(errno);
  if (fd_ < 0) return;
  termios tio{};
  tcgetattr(fd_, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd_, TCSANOW, &tio);
}

ScriptedTool::~ScriptedTool() {
  if (fd_ >= 0) close(fd_);
}

void ScriptedTool::Send(const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      ADD_FAILURE() << "write: " << std::strerror(errno);
      return;
    }
    pollfd fd{fd_, POLLOUT, 0};
    poll(&fd, 1, 1000);
  }
}

std::vector<uint8_t> ScriptedTool::Receive(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    if (fd.revents & (POLLHUP | POLLERR)) break;
    uint8_t chunk[4096];
    const ssize_t n = read(fd_, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (n > 0)
      bytes.insert(bytes.end(), chunk, chunk + n);
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
      break;
  }
  return bytes;
}

std::vector<uint8_t> ScriptedTool::Waiting() {
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  ssize_t n;
  while ((n = read(fd_, chunk, sizeof chunk)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  return bytes;
}

void ScriptedTool::Flush() { tcflush(fd_, TCIFLUSH); }

bool ScriptedTool::HungUp(std::chrono::milliseconds timeout) {
  pollfd fd{fd_, POLLIN, 0};
  if (poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return false;
  if (fd.revents & (POLLHUP | POLLERR)) return true;
  uint8_t byte;
  const ssize_t n = read(fd_, &byte, 1);
  return n == 0 || (n < 0 && errno == EIO);
}

std::vector<uint8_t> Word(uint32_t word) {
  return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
          static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<uint8_t> ZarnPacketBytes(const std::vector<uint8_t>& data) {
  return Concat({Word(static_cast<uint32_t>(data.size() + 4)), data,
                 Word(stbsim::BitwiseCrc32(data.data(), data.size())), Word(0xAB50434B)});
}

std::vector<uint8_t> ZarnHeader(uint32_t bodySize, const std::string& nameTag) {
  std::vector<uint8_t> header(64, 0);
  const auto size = Word(bodySize);
  std::copy(size.begin(), size.end(), header.begin() + 16);
  std::copy(nameTag.begin(), nameTag.end(), header.begin() + 32);
  return header;
}

namespace {
void AppendCrc16(std::vector<uint8_t>& block, size_t fieldSize) {
  const uint16_t crc = stbsim::BitwiseCrc16(block.data() + 3, fieldSize);
  block.push_back(static_cast<uint8_t>(crc >> 8));
  block.push_back(static_cast<uint8_t>(crc));
}
}  // namespace

std::vector<uint8_t> DspHeaderBlock(const std::string& name, int64_t size) {
  std::vector<uint8_t> block = {0x01, 0x00, 0xFF};
  std::vector<uint8_t> field(128, 0);
  const std::string text = name + std::string(1, '\0') + std::to_string(size);
  std::copy(text.begin(), text.end(), field.begin());
  block.insert(block.end(), field.begin(), field.end());
  AppendCrc16(block, 128);
  return block;
}

std::vector<uint8_t> DspDataBlock(uint8_t number, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> block = {0x02, number, static_cast<uint8_t>(~number)};
  std::vector<uint8_t> field(1024, 0);
  std::copy(data.begin(), data.end(), field.begin());
  block.insert(block.end(), field.begin(), field.end());
  AppendCrc16(block, 1024);
  block.push_back(0x00);
  return block;
}

std::vector<uint8_t> DspClosingBlock() {
  std::vector<uint8_t> block = {0x01, 0x00, 0xFF};
  block.resize(133, 0);
  return block;
}

std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>((i + seed) % 251);
  return bytes;
}
