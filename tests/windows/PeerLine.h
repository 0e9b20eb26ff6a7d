// The far end of COM5 in the wine tests: a TCP connection to the Linux-side
// peer (with_pty_peer.sh), which joins it to the pseudo-terminal behind COM5.
// Bytes sent here arrive on COM5 and bytes written to COM5 arrive here;
// Close hangs the line up.
//
// Threads: one thread at a time per object.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

class PeerLine {
 public:
  // Connects to the peer whose TCP port the environment variable
  // `portVariable` names (with_pty_peer.sh's by default); Connected() says
  // whether that worked.
  explicit PeerLine(const char* portVariable = "ZARN_PTY_PEER_PORT");
  ~PeerLine();
  PeerLine(const PeerLine&) = delete;
  PeerLine& operator=(const PeerLine&) = delete;

  bool Connected() const;
  bool Send(const std::vector<uint8_t>& bytes);
  // Collects up to `count` bytes; returns early with what came when `limit`
  // passes or the peer goes away.
  std::vector<uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit);
  void Close();
  // Whether a Receive has seen the peer close its side.
  bool HungUp() const { return hungUp_; }

 private:
  uintptr_t socket_;
  bool hungUp_ = false;
};

// Whether the program runs under wine (whose ntdll exports wine_get_version).
bool UnderWine();
