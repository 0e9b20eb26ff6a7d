// The simulated STB: plays the set-top box at the far end of a
// pseudo-terminal, so that the tool (or a test) can open the other end as its
// serial port.
//
//   stbsim::SimOptions options;            // ZARN mode, no pacing, no faults
//   options.greetInterval = std::chrono::milliseconds(100);
//   stbsim::StbSimulator sim(options);     // opens the pseudo-terminal pair
//   port.SetDevicePath(sim.SlavePath());
//   sim.Start();                           // greets, then answers on its own thread
//   ... run the upload ...
//   ASSERT_TRUE(sim.WaitUntilFinished(std::chrono::seconds(10)));
//   EXPECT_EQ(sim.LastUpload().Image(), fileBytes);
//
// ZARN mode: greets with 'K' 'G' 'S' (again every greetInterval until a byte
// comes), answers DnRequest for the type codes 01 02 04 08 with DnAccept,
// the 64-byte header with HeaderAccept, each packet with the accept word or
// PacketBad, EndOfImage with FlashStart, then after flashTime with FlashOk,
// then restarts after restartTime and greets again.
// Beware of the tool's reading of replies: it judges each packet by the oldest
// word waiting, which after HeaderAccept is the answer to the packet before.
// A packet that this STB rejects therefore shows as BAD on the tool's next
// packet, and the STB takes that next packet as the resend it asked for.
//
// DSP mode: sends 'C' every cInterval until the header block comes, answers
// it with ACK 'C', each good data block with ACK (NAK to a bad one), the
// first EOT with NAK and the second with ACK, the closing block with ACK, and
// then restarts and asks with 'C' again.
//
// The record is written before each answer goes out: whoever has seen an
// answer on the line finds it (and what led to it) in the record.
//
// Threads: construct, Start, Stop and destroy from one thread (the test's).
// Every other member may be called from any thread at any time: the reads
// return copies taken under the simulator's lock, and the waits block on a
// condition variable until their condition holds or their deadline passes.
// The simulator's own thread is the only writer of its record.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimOptions.h"
#include "SimRecord.h"

namespace stbsim {

class SimLine;
class SimLog;

class StbSimulator {
 public:
  // Opens the pseudo-terminal pair (slave raw, as a serial port at 8N1) and,
  // when options.makePortLink is set, the "COM<n>" link; or, when
  // options.device is set, that serial device (no link). Throws
  // std::system_error when the line cannot be opened.
  explicit StbSimulator(SimOptions options = {});
  ~StbSimulator();  // Stop(), then closes the line and removes the link
  StbSimulator(const StbSimulator&) = delete;
  StbSimulator& operator=(const StbSimulator&) = delete;

  // The device the tool opens, e.g. "/dev/pts/7"; with options.device, that
  // device as named ("COM6").
  const std::string& SlavePath() const;
  // The link's name ("COM31") and full path, or "" without a link.
  const std::string& PortName() const;
  const std::string& PortLinkPath() const;

  // Hands every event's text to `echo` as it happens, on the simulator's
  // thread (the executable prints them). Call before Start.
  void SetEventEcho(std::function<void(const std::string&)> echo);

  // Starts the STB on its own thread. Call once.
  void Start();
  // Ends the STB's thread (at once, also in the middle of a wait or a paced
  // send) and waits for it. The line stays open until destruction. Idempotent.
  void Stop();

  // --- reading what happened (copies; any thread) ---
  SimRecord Snapshot() const;
  // The latest upload, or an empty record when none has begun.
  UploadRecord LastUpload() const;
  int UploadCount() const;
  std::vector<SimEvent> Events() const;
  // Writes the latest upload's received image (ZARN: header + body; DSP: the
  // file trimmed to its size) to `path` (UTF-8). False when none or on a write error.
  bool SaveLastImage(const std::string& path) const;

  // Whether the STB has nothing more to say until the tool writes again: it
  // waits for the tool's bytes (not for a moment of its own, such as the next
  // greeting or the end of a flash write) or its thread has ended, nothing the
  // tool wrote waits for it, and nothing it wrote waits for the tool. False
  // before Start. A test's fake clock lets time pass only while this holds, so
  // that no limit can run out while an answer is on its way. Any thread.
  bool AwaitsTheTool() const;

  // --- waiting (any thread; each returns whether its condition came true) ---
  // Blocks until `condition` holds for the record (checked under the lock at
  // each change) or `timeout` passes.
  bool WaitFor(const std::function<bool(const SimRecord&)>& condition,
               std::chrono::milliseconds timeout) const;
  // The latest upload has finished (see UploadRecord::finished). False when
  // the deadline passes or the STB's thread ends first.
  bool WaitUntilFinished(std::chrono::milliseconds timeout) const;
  // An event whose text contains `text` has been logged.
  bool WaitForEvent(const std::string& text, std::chrono::milliseconds timeout) const;
  // The STB's thread has ended (Stop, vanish, or loop == false after an upload).
  bool WaitUntilStopped(std::chrono::milliseconds timeout) const;

 private:
  void Run();

  SimOptions options_;
  std::unique_ptr<SimLine> line_;
  std::shared_ptr<SimLog> log_;
  std::string portName_;
  std::string portLinkPath_;
  std::thread thread_;
  bool started_ = false;
  std::atomic<bool> ended_{false};  // the STB's thread has left Run
};

}  // namespace stbsim
