// A pseudo-terminal pair standing in for a serial cable: the component opens
// the slave by its path; the test plays the far end on the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Writes every byte to the far end's side of the line.
  void Send(const std::vector<uint8_t>& bytes);
  void Send(const std::string& text);
  // Reads from the far end's side until `count` bytes came or `limit` passed.
  std::vector<uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit);
  // Whatever arrives within `limit` (for checks that nothing arrives).
  std::vector<uint8_t> ReceiveAvailable(std::chrono::milliseconds limit);
  // Closes the master: the slave side sees the line go away.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Bytes 0, 1, 2, ... wrapping at 251 (a prime, so ring positions and byte
// values do not line up by accident).
std::vector<uint8_t> Pattern(std::size_t length, std::size_t start = 0);
