// The clock and the pauses an upload task uses, injectable so that tests can
// run the 5, 10 and 30 second limits in milliseconds.
//
// Threads: called only from the task's thread; an implementation used by one
// task at a time needs no lock of its own.
#pragma once

#include <chrono>
#include <cstdint>

class TApdCustomComPort;

class TaskClock {
 public:
  virtual ~TaskClock() = default;

  // Calendar time in whole seconds (local time turned back into a time value).
  virtual int64_t WholeSeconds() = 0;

  // A fixed pause of the protocol. It ends early once `port` reports its line
  // gone (or closes): nothing then waits to be paced, and the task meets the
  // failure at its next port operation instead of sitting the pause out.
  virtual void Pause(TApdCustomComPort& port, std::chrono::milliseconds length) = 0;

  // Blocks for at most `slice` until a received byte waits on `port` or the
  // port's input waiters are woken (a stop request wakes them). Used between
  // the passes of a wait so that a waiting task does not burn a core.
  virtual void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) = 0;
};

// The wall clock with real sleeps; process-wide.
TaskClock& RealTaskClock();
