// One port of the station: what it is doing (waiting for an STB, uploading,
// the last unit's result, waiting for the unit to be replaced, its adapter
// gone) and what the station has to do next for it. It decides; the port's
// supervisor (PortSupervisor) runs the child process and the line watch and
// feeds back what they report.
//
// The re-arm rule, so that no unit is flashed twice by accident: the first
// unit is flashed at once (Start: the operator has put the units in place).
// After a unit has finished, in loop mode, the port waits for the unit to be
// replaced: the line must first be quiet for the re-arm time (the flashed
// unit restarts and greets again, once or repeatedly, until it is taken
// away), and then the next unit must speak (a new STB greets) before a child
// is started for it. The operator's "next unit in place" skips both. A port
// whose adapter was gone waits for a quiet line again when it comes back, as
// the unit behind it may be the one just flashed.
//
// Plain state, no clock and no Qt; one thread (the station's) calls it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "ChildEvent.h"

enum class PortState {
  Idle,         // not started
  Waiting,      // a child runs and waits for the STB
  Listening,    // the station listens on the line for the next unit to speak
  Uploading,    // a child uploads; the view has the progress
  Pass,         // the unit confirmed the upload
  Fail,         // the unit's upload failed; the view has the failure text
  ReplaceUnit,  // loop mode: the finished unit must be taken away first
  AdapterGone,  // the port cannot be opened
  Stopped,      // stopped before a result
};

// What the supervisor has to do after an input.
enum class PortAction {
  None,
  StartChild,      // run zarn-upload for the next unit
  WatchQuiet,      // open the line and report once it has been quiet long enough
  WatchForUnit,    // open the line and report the first byte that comes
  InterruptChild,  // end the running child as Ctrl-C does
};

// How a child process ended.
struct ChildExit {
  bool crashed = false;   // killed by a signal, or it could not be started
  int exitCode = 0;       // when not crashed
  std::string errorText;  // the last line of its standard error, or why it did not run
};

struct PortView {
  std::string port;
  PortState state = PortState::Idle;
  int64_t done = 0;   // bytes the STB acknowledged in the current upload
  int64_t total = 0;  // bytes to send; 0 before the STB answered
  std::string line;   // the current upload's last status line
  // The last finished unit, shown while the next one is awaited.
  bool hasResult = false;
  bool lastPassed = false;
  std::string failure;  // why it failed: the box, the result, or the child's fault
  int passed = 0;
  int failed = 0;
  std::chrono::system_clock::time_point lastEnd{};  // when the last unit ended
};

class PortMachine {
 public:
  PortMachine(std::string port, bool loop);

  PortAction Start();
  void OnEvent(const ChildEvent& event);
  PortAction OnChildExit(const ChildExit& exit, std::chrono::system_clock::time_point now);
  // The line watch: quiet for the re-arm time; a byte came; the port cannot
  // be opened (or failed); it can be opened again.
  PortAction OnLineQuiet();
  PortAction OnUnitSpoke();
  // `why`: the serial layer's words for the failed open.
  PortAction OnLineMissing(const std::string& why);
  PortAction OnLineBack();
  // The operator: the next unit is in place (loop mode, no child running).
  PortAction OnNextUnit();
  PortAction OnStop();

  const PortView& View() const { return view_; }
  bool ChildRunning() const { return childRunning_; }
  // Nothing more will happen on this port: a result without loop mode, or
  // stopped with no child left.
  bool Settled() const;
  // The running or last child showed a start event but no end event.
  bool StartedWithoutEnd() const { return sawStart_ && !sawEnd_; }
  const ChildEvent& StartEvent() const { return start_; }

 private:
  PortAction Arm();
  void Finish(bool passed, std::string failure, std::chrono::system_clock::time_point now);
  std::string FailureText(const ChildExit& exit) const;

  PortView view_;
  bool loop_;
  bool stopping_ = false;
  bool childRunning_ = false;
  // The last child's story
  bool sawStart_ = false;
  bool sawEnd_ = false;
  ChildEvent start_;
  ChildEvent end_;
  std::string boxText_;
  std::string unreadable_;  // the first line that was no event
};

// The state as the operator reads it ("waiting for STB", "PASS", ...).
std::string StateText(PortState state);
