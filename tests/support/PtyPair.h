// A pseudo-terminal pair standing in for a serial cable: the port under test
// opens the slave by its path; the test (or benchmark) plays the far end, the
// STB, on the master.
//
// Errors: a pair that cannot be made and a write the master refuses throw
// std::runtime_error (a test that meets one fails with its text).
// Threads: one thread at a time may use the master's helpers; SlavePath and
// MasterFd may be read from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
 public:
  // Who holds the slave end besides the port under test.
  enum class SlaveEnd {
    // Nobody: the slave is the port's alone, so the master sees the line
    // hang up whenever the port is closed, as with a real cable.
    Released,
    // The pair keeps a descriptor open, so the master never reads a hang-up
    // while the port is closed or reopened; only CloseMaster ends the line.
    HeldOpen,
  };

  // A raw line (no echo, no line editing) of the given kind.
  explicit PtyPair(SlaveEnd slave = SlaveEnd::Released);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  // Non-blocking; -1 once CloseMaster ran.
  int MasterFd() const { return master_; }

  // Writes every byte to the master, waiting for room in the line as needed.
  void Send(const std::vector<uint8_t>& bytes);
  void Send(const std::string& text);
  // Reads from the master until `count` bytes came, `limit` passed or the
  // line hung up; returns what came.
  std::vector<uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit);
  // Whatever arrives within `limit` (for checks that nothing arrives).
  std::vector<uint8_t> ReceiveAvailable(std::chrono::milliseconds limit);
  // Closes the master: the slave side sees the line go away (EIO).
  void CloseMaster();

 private:
  int master_ = -1;
  int slave_ = -1;  // only with SlaveEnd::HeldOpen
  std::string slavePath_;
};
