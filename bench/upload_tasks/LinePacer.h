// A serial line between two programs, paced like a real one: the sender's
// pseudo-terminal and the receiver's socket pair, whose bytes the pacer
// carries across no faster than `baud` / 10 bytes per second in each
// direction (start bit, 8 data bits, stop bit), each byte arriving one byte
// time after the previous one in its direction has (or after it was written,
// when the line was idle). What a side writes waits in the pacer meanwhile,
// as it would in a UART's driver.
//
// The sender's slave is raw from the start, and the pacer keeps it open
// itself, so a program that closes its side does not hang the line up. The
// receiver gets a socket (as socat's SYSTEM address gives rb in the interop
// test): rb flushes its terminal as it exits, which on a pseudo-terminal
// would throw away its last acknowledgement before the pacer has read it.
//
// With ZARN_PACER_TRACE set in the environment, every hand-over is printed on
// standard error (time, direction, count, first bytes).
//
// Threads: one thread makes it and calls Pump; nothing is shared.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace bench {

class LinePacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit LinePacer(double baud);
  ~LinePacer();
  LinePacer(const LinePacer&) = delete;
  LinePacer& operator=(const LinePacer&) = delete;

  // False when a pseudo-terminal could not be made.
  bool Ready() const { return senderMaster_ >= 0 && receiverMaster_ >= 0; }
  // The device the sender opens (or gets as stdin and stdout), and the socket
  // the receiver gets as stdin and stdout.
  const std::string& SenderPath() const { return senderPath_; }
  int ReceiverSocket() const { return receiverSocket_; }

  // Carries bytes until `done()` returns true or `deadline` passes; false on
  // the deadline. `done` is asked at least every few milliseconds.
  bool Pump(const std::function<bool()>& done, Clock::time_point deadline);

  // When the first byte from the sender reached the receiver, and when the
  // last byte of either direction was delivered.
  std::optional<Clock::time_point> FirstSenderByte() const { return firstSenderByte_; }
  std::optional<Clock::time_point> LastByte() const { return lastByte_; }
  // Bytes delivered in each direction.
  std::size_t SenderBytes() const { return toReceiver_.delivered; }
  std::size_t ReceiverBytes() const { return toSender_.delivered; }

 private:
  // One direction: bytes read from `from`, each with the time it is due at
  // `to`.
  struct Direction {
    int from = -1;
    int to = -1;
    std::deque<std::pair<uint8_t, Clock::time_point>> queue;
    Clock::time_point lineFreeAt{};
    std::size_t delivered = 0;
  };

  void Take(Direction& direction, Clock::time_point now);
  // Writes the bytes the receiving FIFO hands on by `now`; returns when the
  // next hand-over may be due.
  std::optional<Clock::time_point> Deliver(Direction& direction, Clock::time_point now);

  const Clock::duration byteTime_;
  int senderMaster_ = -1;
  int senderSlave_ = -1;
  int receiverMaster_ = -1;
  int receiverSocket_ = -1;
  std::string senderPath_;
  Direction toReceiver_;
  Direction toSender_;
  std::optional<Clock::time_point> firstSenderByte_;
  std::optional<Clock::time_point> lastByte_;
};

}  // namespace bench
