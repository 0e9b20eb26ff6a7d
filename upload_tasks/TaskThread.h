// TThread: the thread base that both upload task kinds share.
//
// Life of a task:
//  - The main thread creates it with `new` (the window's Send, the command-line
//    front end). The base constructor sets TaskRunning at once on the main
//    thread, so a second Send can never slip in before the task's thread runs.
//  - The most-derived constructor calls Start() as its last statement. Only
//    then does the task's thread begin, so the body never runs against a
//    half-built object. A task whose constructor does not call Start() never
//    runs.
//  - The thread names itself, sets TaskRunning again and runs Execute(). When
//    a stop was requested before that, the body is skipped. An exception that
//    leaves Execute() is dropped without a word.
//  - The thread then hands the termination notice to the host's main thread
//    (TaskHost::RunOnMainThread) and waits for it: TaskRunning false, the image
//    file closed if still open, the termination line appended, then
//    TaskHost::TaskEnded. The termination line is therefore always the last
//    line a task adds.
//  - Finally the object deletes itself on its own thread ("release on end");
//    the std::thread is detached, nobody joins it.
//
// Threads: the constructor runs on the main thread; Execute() and every
// protected helper on the task's thread. RequestStop() may be called from any
// thread, but only while TaskRunning is true: once the termination notice has
// run, the object may already be gone. StopRequested() may be called from any
// thread with the same proviso.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "ImageAdmission.h"
#include "ImageFile.h"
#include "TaskClock.h"
#include "TaskHost.h"

class TApdCustomComPort;

class TThread {
 public:
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Sets the stop request (never cleared) and wakes a wait in progress. A
  // pause, send, read or message box in progress runs to its end; the body
  // sees the request in its next wait or at its own check points.
  void RequestStop();
  bool StopRequested() const { return stopRequested_.load(); }

  // Number of task objects not yet released, and a wait until there are none
  // (true) or `limit` passes (false). For hosts that must not leave while a
  // finished task's thread is still releasing its object (the command-line
  // front end before it exits, tests).
  static int LiveTasks();
  static bool WaitUntilAllReleased(std::chrono::milliseconds limit);

 protected:
  // The length of one blocking step of a wait: how long a wait may stay
  // blind to its clock. A byte or a stop request ends a step at once.
  static constexpr std::chrono::milliseconds kWaitSlice{50};

  // Main thread. `threadName` is the name the thread gives itself;
  // `terminationLine` the status-log line of the termination notice.
  TThread(TaskHost& host, TaskClock& clock, std::string threadName, std::string terminationLine);

  // Starts the task's thread. Call it as the last statement of the
  // most-derived constructor. Raises std::system_error when no thread can be
  // created (TaskRunning is false again then).
  void Start();

  // The body, on the task's thread.
  virtual void Execute() = 0;

  // --- helpers for the bodies (task's thread only) ---
  TaskHost& Host() { return host_; }
  TApdCustomComPort& Port();
  TaskClock& Clock() { return clock_; }

  enum class WaitOutcome { ByteReady, StopRequested, TimedOut };
  // The whole-second wait with a limit of `n` seconds. Each pass asks, in this
  // order: is a received byte waiting (ByteReady), is a stop requested
  // (StopRequested), is the whole-second clock past start + n (TimedOut).
  // Between passes it blocks in TaskClock::WaitForInput, so a waiting task
  // burns no processor and still sees a new byte at once. It takes no byte.
  // Port failures (e.g. ECommNotOpen after a close) reach the caller, and so
  // does a dead line: once the port reports its line failed (the device went
  // away) and no received byte is left, the wait raises that failure at once
  // (EInOutError) instead of waiting out its limit, so the body ends through
  // its port-failure path.
  WaitOutcome WaitSeconds(int n);
  // As WaitSeconds, without a limit: ends only on a byte, a stop request or a
  // dead line (raised).
  WaitOutcome WaitWithoutLimit();
  // One blocking step: returns when a byte waits, a stop wakes it, or
  // kWaitSlice passes; raises at once on a dead line with no byte waiting.
  // For loops with a deadline of their own.
  void WaitForInputSlice();

  // The calendar clock in whole seconds (local time turned back into a time
  // value), as the limits of the protocols count it.
  int64_t WholeSeconds() { return clock_.WholeSeconds(); }
  // A fixed pause of a protocol; ends early on a line that has gone.
  void Pause(std::chrono::milliseconds length) { clock_.Pause(Port(), length); }
  // FlushInBuffer, then FlushOutBuffer.
  void FlushBoth();

  // Status log and progress bar; each has taken effect when it returns.
  void Log(const std::string& line) { host_.AppendLog(line); }
  void SetProgressPosition(int position) { host_.SetProgressPosition(position); }
  void SetProgressMin(int minimum) { host_.SetProgressMin(minimum); }
  void SetProgressMax(int maximum) { host_.SetProgressMax(maximum); }
  void StepProgressBy(int delta) { host_.StepProgressBy(delta); }
  // A box with an OK button and no icon; returns when it is dismissed.
  void ShowBox(const std::string& text, const std::string& title) {
    host_.ShowMessageBox(text, title);
  }

  // The process-wide image file handle.
  ImageFile& TheImageFile() { return ::TheImageFile(); }

  // Title of the boxes about the image file.
  static constexpr char kFileErrorTitle[] = "File Error";

  // Opens `path` into the image file handle before anything is sent, and
  // measures it by the admission rule of `protocol` (ImageAdmission.h).
  // Returns the length with the position back at the start, or nothing when
  // the rule refuses the file: its "File Error" box (title kFileErrorTitle)
  // has then been shown and the handle is closed.
  std::optional<int64_t> OpenImageForUpload(const std::string& path, UploadProtocol protocol);

  // GetBlock and PeekBlock for exactly `count` bytes. While a close is under
  // way the port returns without copying anything, which must not pass for a
  // reply: a short count raises EBufferIsEmpty as an empty buffer does.
  void TakeReceived(void* into, uint16_t count);
  void CopyReceived(void* into, uint16_t count);

  // The body calls this when it has reached its protocol's finish, with what
  // the STB said about it; the host learns it through TaskHost::TaskEnded
  // (the command-line front end turns it into its exit status). A body that
  // never calls it ended early.
  void MarkFinished(TaskEnd how = TaskEnd::Unconfirmed) { end_.store(how); }

 private:
  void Run();
  // Raises the port's line failure when the line is dead and no byte waits.
  void RaiseIfLineGone();

  TaskHost& host_;
  TaskClock& clock_;
  const std::string threadName_;
  const std::string terminationLine_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<TaskEnd> end_{TaskEnd::Early};
};
