#include "PortMachine.h"

#include <utility>

namespace {

// An unreadable line is quoted in the failure text up to this length.
constexpr size_t kQuotedLineLimit = 60;

}  // namespace

PortMachine::PortMachine(std::string port, bool loop) : loop_(loop) {
  view_.port = std::move(port);
}

PortAction PortMachine::Start() {
  if (view_.state != PortState::Idle) return PortAction::None;
  return Arm();
}

PortAction PortMachine::Arm() {
  view_.state = PortState::Waiting;
  view_.done = view_.total = 0;
  view_.line.clear();
  sawStart_ = sawEnd_ = false;
  start_ = end_ = ChildEvent{};
  boxText_.clear();
  unreadable_.clear();
  childRunning_ = true;
  return PortAction::StartChild;
}

void PortMachine::OnEvent(const ChildEvent& event) {
  if (!childRunning_) return;
  switch (event.kind) {
    case ChildEvent::Kind::Start:
      sawStart_ = true;
      start_ = event;
      break;
    case ChildEvent::Kind::Log: view_.line = event.line; break;
    case ChildEvent::Kind::Progress:
      view_.done = event.done;
      view_.total = event.total;
      if (view_.state == PortState::Waiting) view_.state = PortState::Uploading;
      break;
    case ChildEvent::Kind::Box: boxText_ = event.text; break;
    case ChildEvent::Kind::End:
      sawEnd_ = true;
      end_ = event;
      break;
    case ChildEvent::Kind::Unreadable:
      if (unreadable_.empty()) unreadable_ = event.line.substr(0, kQuotedLineLimit);
      if (unreadable_.empty()) unreadable_ = "(an empty line)";
      break;
  }
}

std::string PortMachine::FailureText(const ChildExit& exit) const {
  if (exit.crashed) {
    return "zarn-upload crashed" + (exit.errorText.empty() ? "" : ": " + exit.errorText);
  }
  if (!unreadable_.empty()) return "unreadable output from zarn-upload: " + unreadable_;
  if (!sawEnd_) {
    const std::string why = exit.errorText.empty() ? "" : ": " + exit.errorText;
    return "zarn-upload ended without a result (status " + std::to_string(exit.exitCode) + ")" +
           why;
  }
  if (end_.result == "confirmed") {
    return "zarn-upload reported confirmed but ended with status " + std::to_string(exit.exitCode);
  }
  const std::string detail = !boxText_.empty() ? boxText_ : view_.line;
  return end_.result + (detail.empty() ? "" : ": " + detail);
}

void PortMachine::Finish(bool passed, std::string failure,
                         std::chrono::system_clock::time_point now) {
  view_.hasResult = true;
  view_.lastPassed = passed;
  view_.failure = passed ? std::string() : std::move(failure);
  ++(passed ? view_.passed : view_.failed);
  view_.lastEnd = now;
  view_.state = passed ? PortState::Pass : PortState::Fail;
}

PortAction PortMachine::OnChildExit(const ChildExit& exit,
                                    std::chrono::system_clock::time_point now) {
  if (!childRunning_) return PortAction::None;
  childRunning_ = false;
  // A child that never opened the port (zarn-upload says so with status 2
  // before any event): the adapter is missing, or in a single run the port
  // is simply wrong.
  if (!exit.crashed && !sawStart_ && exit.exitCode == 2 && unreadable_.empty()) {
    if (stopping_) {
      view_.state = PortState::Stopped;
      return PortAction::None;
    }
    if (loop_) {
      view_.state = PortState::AdapterGone;
      view_.line = exit.errorText;
      return PortAction::WatchQuiet;
    }
    Finish(false, exit.errorText.empty() ? "the port cannot be opened" : exit.errorText, now);
    return PortAction::None;
  }
  const bool passed = !exit.crashed && exit.exitCode == 0 && unreadable_.empty() && sawEnd_ &&
                      end_.result == "confirmed" && end_.exitStatus == 0;
  // Stopped while the child still waited for its STB: no unit was there. A
  // child stopped before it could take Ctrl-C ends as if killed.
  if (stopping_ && !passed && view_.total == 0) {
    view_.state = PortState::Stopped;
    return PortAction::None;
  }
  Finish(passed, FailureText(exit), now);
  if (!loop_ || stopping_) return PortAction::None;
  view_.state = PortState::ReplaceUnit;
  return PortAction::WatchQuiet;
}

PortAction PortMachine::OnLineQuiet() {
  if (stopping_) return PortAction::None;
  if (view_.state != PortState::ReplaceUnit && view_.state != PortState::AdapterGone) {
    return PortAction::None;
  }
  view_.state = PortState::Listening;
  return PortAction::WatchForUnit;
}

PortAction PortMachine::OnUnitSpoke() {
  if (stopping_ || view_.state != PortState::Listening) return PortAction::None;
  return Arm();
}

PortAction PortMachine::OnLineMissing(const std::string& why) {
  if (stopping_ || childRunning_) return PortAction::None;
  if (view_.state == PortState::AdapterGone) return PortAction::None;
  view_.state = PortState::AdapterGone;
  view_.line = why;
  return PortAction::WatchQuiet;
}

PortAction PortMachine::OnLineBack() {
  if (stopping_ || view_.state != PortState::AdapterGone) return PortAction::None;
  view_.state = PortState::ReplaceUnit;
  return PortAction::WatchQuiet;
}

PortAction PortMachine::OnNextUnit() {
  if (stopping_ || childRunning_ || !loop_) return PortAction::None;
  switch (view_.state) {
    case PortState::ReplaceUnit:
    case PortState::Listening:
    case PortState::Pass:
    case PortState::Fail: return Arm();
    default: return PortAction::None;
  }
}

PortAction PortMachine::OnStop() {
  if (stopping_) return PortAction::None;
  stopping_ = true;
  if (childRunning_) return PortAction::InterruptChild;
  if (view_.state != PortState::Pass && view_.state != PortState::Fail) {
    view_.state = PortState::Stopped;
  }
  return PortAction::None;
}

bool PortMachine::Settled() const {
  if (childRunning_) return false;
  if (stopping_) return true;
  return !loop_ && (view_.state == PortState::Pass || view_.state == PortState::Fail);
}

std::string StateText(PortState state) {
  switch (state) {
    case PortState::Idle: return "idle";
    case PortState::Waiting:
    case PortState::Listening: return "waiting for STB";
    case PortState::Uploading: return "uploading";
    case PortState::Pass: return "PASS";
    case PortState::Fail: return "FAIL";
    case PortState::ReplaceUnit: return "replace unit";
    case PortState::AdapterGone: return "adapter gone";
    case PortState::Stopped: return "stopped";
  }
  return "";
}
