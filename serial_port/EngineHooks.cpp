#include "EngineHooks.h"

#include <iostream>
#include <memory>
#include <mutex>

namespace {

std::mutex& HookLock() {
  static std::mutex lock;
  return lock;
}

// Shared pointers let a report or pump in progress finish with the hook it
// took even when another thread installs a new one meanwhile.
std::shared_ptr<TThreadFailureReporter>& Reporter() {
  static std::shared_ptr<TThreadFailureReporter> reporter;
  return reporter;
}

std::shared_ptr<std::function<void()>>& Pump() {
  static std::shared_ptr<std::function<void()>> pump;
  return pump;
}

}  // namespace

void SetThreadFailureReporter(TThreadFailureReporter reporter) {
  auto next = reporter ? std::make_shared<TThreadFailureReporter>(std::move(reporter)) : nullptr;
  std::lock_guard<std::mutex> guard(HookLock());
  Reporter() = std::move(next);
}

void ReportThreadFailure(const std::string& exceptionClass, const std::string& message) {
  std::shared_ptr<TThreadFailureReporter> reporter;
  {
    std::lock_guard<std::mutex> guard(HookLock());
    reporter = Reporter();
  }
  if (reporter) {
    (*reporter)(exceptionClass, message);
    return;
  }
  std::cerr << "Application Error: " << exceptionClass << ": " << message << std::endl;
}

void SetCloseWaitPump(std::function<void()> pump) {
  auto next = pump ? std::make_shared<std::function<void()>>(std::move(pump)) : nullptr;
  std::lock_guard<std::mutex> guard(HookLock());
  Pump() = std::move(next);
}

void RunCloseWaitPump() {
  std::shared_ptr<std::function<void()>> pump;
  {
    std::lock_guard<std::mutex> guard(HookLock());
    pump = Pump();
  }
  if (pump) (*pump)();
}
