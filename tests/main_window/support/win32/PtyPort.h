// The STB's end of the line in the window tests under wine: COM5, which wine
// maps to a Linux pseudo-terminal whose other side the Linux-side peer
// (tests/windows/with_pty_peer.sh) joins to a TCP connection held here. The
// same interface as the POSIX PtyPort, so the window tests run unchanged.
//
// Threads: the test's (GUI) thread. The waits keep handling Qt events, since
// a task that talks to the peer also waits for the GUI thread.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <cstdint>
#include <vector>

#include "PeerLine.h"

class PtyPort {
 public:
  // The wine tests' one port (scripts/wine-session.sh maps it).
  static constexpr uint16_t kComNumber = 5;

  PtyPort() = default;
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  bool Ready() const { return peer_.Connected(); }
  uint16_t ComNumber() const { return kComNumber; }

  bool Write(const QByteArray& bytes) {
    return peer_.Send(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }

  // Collects `count` bytes from the line, handling Qt events meanwhile;
  // returns what arrived by the deadline.
  QByteArray Read(int count, int timeoutMs) {
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count && !deadline.hasExpired() && peer_.Connected()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      for (uint8_t b : peer_.Receive(static_cast<std::size_t>(count - got.size()), kReceiveSlice))
        got.append(static_cast<char>(b));
    }
    return got;
  }

  // Hangs up the line: the peer closes the pseudo-terminal's master side.
  void CloseMaster() { peer_.Close(); }

 private:
  static constexpr std::chrono::milliseconds kReceiveSlice{10};

  PeerLine peer_;
};
