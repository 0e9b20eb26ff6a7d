// The STB's end of the serial line: by default the master side of a
// pseudo-terminal pair, or a serial port of its own (a COM port, or on POSIX
// systems any terminal device) that a cable or a virtual null-modem joins to
// the tool's port. Optional pacing at a baud rate makes transfers take the
// time a real line would give them (a real port paces itself).
//
// Pacing: a reply leaves only when the line would have carried all its bytes
// (so the far end never sees half a word), and received bytes are handed out
// no faster than the line could have delivered them, in small batches.
//
// The portable part (SimLine.cpp) paces and buffers; the system's backend
// (posix/ or win32/, chosen by CMake) opens, waits, reads and writes.
//
// Threads: one thread (the simulator's) reads, writes, sleeps and vanishes.
// RequestStop may be called from any thread; every blocking call then throws
// LineStopped at once. Quiet may be called from any thread. After Vanish,
// reads and writes throw LineGone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace stbsim {

struct LineStopped {};  // the simulator is being stopped
struct LineGone {};     // the line has been closed (the STB vanished)

// What the system's backend can open as the STB's line.
struct SimLineKinds {
  bool pseudoTerminal = false;  // the SimLine(pace, baud) pair
  bool devicePath = false;      // SimLine(device, ...) with a path, not only "COM<n>"
};
// This system's backend.
SimLineKinds SystemSimLineKinds();

class SimLine {
 public:
  using Clock = std::chrono::steady_clock;

  // Opens the pair; the slave is set raw and kept open by the simulator so
  // that the line survives the tool closing and reopening it. Throws
  // std::system_error on failure (also where the system has no
  // pseudo-terminals: SystemSimLineKinds).
  SimLine(bool pace, int baud);
  // Opens the serial device `device` exclusively as the line, raw at 115200
  // bps 8N1 without flow control: "COM<n>" (ComName.h) as the tool's port
  // list maps it, or on a system with device paths a path such as
  // "/dev/ttyUSB0". Throws std::system_error when it cannot be opened or is
  // no serial device.
  SimLine(const std::string& device, bool pace, int baud);
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // The device the tool opens ("/dev/pts/7"), or for a serial device line the
  // device as it was named ("COM6").
  const std::string& SlavePath() const { return slavePath_; }

  // What a read waits for: only the tool's next bytes (`Tool`: the STB has
  // nothing to say before they come), or also its own `deadline` (`Deadline`:
  // the STB acts on its own when it passes).
  enum class Awaiting { Deadline, Tool };

  // The next received byte, or nothing when `deadline` passes first.
  std::optional<uint8_t> ReadByte(Clock::time_point deadline,
                                  Awaiting awaiting = Awaiting::Deadline);
  // Up to `max` received bytes (at least one), or 0 when `deadline` passes first.
  size_t Read(uint8_t* out, size_t max, Clock::time_point deadline,
              Awaiting awaiting = Awaiting::Deadline);
  // Whether a byte arrives before `deadline`, without taking it. A wait
  // without deadline awaits the tool.
  bool WaitReadable(Clock::time_point deadline);

  // Any thread: nothing moves on the line until the tool writes again. The
  // simulator's thread waits for the tool (Awaiting::Tool), or has ended
  // (`threadEnded`), and neither direction holds a byte that its reader has
  // not taken yet. Looking at the line also hands the kernel's pending bytes
  // on to the readers, so a byte just written cannot hide from it.
  bool Quiet(bool threadEnded);

  // Drops every byte received so far, without waiting.
  void DiscardInput();

  // Sends `bytes` in one piece (nothing for an empty vector).
  void Write(const std::vector<uint8_t>& bytes);

  // Sleeps until `until` (a stop request ends it with LineStopped).
  void SleepUntil(Clock::time_point until);
  void SleepFor(std::chrono::milliseconds length) { SleepUntil(Clock::now() + length); }

  // Closes the line: both ends of a pseudo-terminal pair, so that the tool's
  // port sees the device go away; a serial device's own end only.
  void Vanish();
  bool Gone() const;

  // Any thread.
  void RequestStop();

 private:
  // The backend's handles and its waiting.
  struct System;
  // Waits until input can be taken and takes what is there into `buffer_`
  // (replacing it); false when `deadline` passes first. `beforeTaking` runs
  // once input is there and before it leaves the system's queue. Throws
  // LineStopped and LineGone. Backend.
  bool Receive(Clock::time_point deadline, const std::function<void()>& beforeTaking);
  // Like Receive, counted in toolWaits_ while it awaits the tool: the count
  // ends before the input is taken, so that Quiet never sees a line with
  // nothing queued while the STB holds bytes it has not answered yet.
  bool ReceiveFor(Awaiting awaiting, Clock::time_point deadline);
  bool Fill(Clock::time_point deadline, Awaiting awaiting);
  // Sends every byte, waiting as long as the line needs. Backend.
  void SendAll(const uint8_t* bytes, size_t count);
  // Drops what the system holds for the STB, without waiting. Backend.
  void DropPendingInput();
  // Whether the system holds no byte for either side's reader (`threadEnded`:
  // only the tool's side counts). Under fdsLock_. Backend.
  bool SystemQuiet(bool threadEnded);
  // How long one byte (kBitsPerByte bits) takes at `baud`.
  static Clock::duration ByteTime(int baud);

  std::unique_ptr<System> system_;
  std::string slavePath_;
  const bool pace_;
  const Clock::duration byteTime_;
  std::vector<uint8_t> buffer_;
  size_t head_ = 0;
  Clock::time_point inLineFree_{};
  Clock::time_point outLineFree_{};
  // Odd while the simulator's thread waits for the tool; every such wait
  // moves it on by two, so a reader sees whether one wait lasted throughout.
  std::atomic<uint64_t> toolWaits_{0};
  // Held while Vanish closes the handles and while Quiet looks at them.
  std::mutex fdsLock_;
};

}  // namespace stbsim
