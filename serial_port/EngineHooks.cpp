#include "EngineHooks.h"

#include <cstdio>
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
  // One write of the whole line under one lock: two threads that fail at once
  // must not print into each other.
  static std::mutex writeLock;
  const std::string line = "Application Error: " + exceptionClass + ": " + message + "\n";
  std::lock_guard<std::mutex> guard(writeLock);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
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
