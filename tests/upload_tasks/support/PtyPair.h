// A pseudo-terminal pair standing in for the serial line: the port under test
// opens the slave by its path, the test plays the STB on the master.
//
// Threads: one thread at a time may use the master's helpers.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class TApdCustomComPort;

class PtyPair {
 public:
  PtyPair();  // raw slave, fails the test (ADD_FAILURE) when no pair can be made
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Writes all of `bytes` to the master.
  void Send(const std::vector<uint8_t>& bytes);
  void Send(const std::string& text) { Send(std::vector<uint8_t>(text.begin(), text.end())); }
  // Reads from the master until `count` bytes came or `limit` passed; returns
  // what came.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds limit);
  // Reads whatever arrives within `limit`.
  std::vector<uint8_t> Drain(std::chrono::milliseconds limit);
  // Closes the master: the line vanishes for the port.
  void CloseMaster();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Gives `port` the settings of the window's Connect and the window's stored
// buffer sizes, and opens it on `path`.
void OpenPortOn(TApdCustomComPort& port, const std::string& path);
