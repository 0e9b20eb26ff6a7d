// Upload tasks: the two task kinds that run one upload on a thread of their
// own, and the state they share with the window.
//
// A task is created on the main thread with `new`, starts at once and releases
// itself after its termination notice has run on the main thread. The creator
// may call RequestStop on it only while TaskRunning is true (the notice, which
// clears the flag, runs on the main thread too).
#pragma once

#include <atomic>

#include "TaskClock.h"
#include "TaskHost.h"
#include "TaskThread.h"

// True from the creation of a task until its termination notice has run.
// Written and read whole by the main thread and the task's thread.
extern std::atomic<bool> TaskRunning;

// Uploads an image with a 64-byte header by the command-word protocol.
class UpThread final : public TThread {
 public:
  explicit UpThread(TaskHost& host, TaskClock& clock = RealTaskClock());

 protected:
  void Execute() override;
};

// Uploads a .DSP file by the YMODEM-style block transfer.
class UpDspThread final : public TThread {
 public:
  explicit UpDspThread(TaskHost& host, TaskClock& clock = RealTaskClock());

 protected:
  void Execute() override;
};
