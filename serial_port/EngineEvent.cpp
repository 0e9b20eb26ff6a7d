#include "EngineEvent.h"

void TEngineEvent::Set() {
  {
    std::lock_guard<std::mutex> guard(hub_.lock_);
    signalled_ = true;
  }
  hub_.changed_.notify_all();
}

void TEngineEvent::Reset() {
  std::lock_guard<std::mutex> guard(hub_.lock_);
  signalled_ = false;
}

bool TEngineEvent::TakeLocked() {
  if (!signalled_) return false;
  signalled_ = false;
  return true;
}

bool TEngineEvent::Wait(std::chrono::milliseconds limit) { return WaitAny({this}, limit) == 0; }

int TEngineEvent::WaitAny(std::initializer_list<TEngineEvent*> events,
                          std::chrono::milliseconds limit) {
  if (events.size() == 0) return -1;
  TEventHub& hub = (*events.begin())->hub_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock<std::mutex> lock(hub.lock_);
  for (;;) {
    int index = 0;
    for (TEngineEvent* e : events) {
      if (e->TakeLocked()) return index;
      ++index;
    }
    if (hub.changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      index = 0;
      for (TEngineEvent* e : events) {
        if (e->TakeLocked()) return index;
        ++index;
      }
      return -1;
    }
  }
}
