// Signalling events for the engine threads, with automatic reset: the wait
// that sees an event signalled resets it.
//
// Events that one thread must wait for together (the write thread's output and
// flush events) share a TEventHub; WaitAny then waits on all of them at once.
// Set, Reset and the waits may be called from any thread at the same time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>

class TEventHub {
 public:
  TEventHub() = default;
  TEventHub(const TEventHub&) = delete;
  TEventHub& operator=(const TEventHub&) = delete;

 private:
  friend class TEngineEvent;
  std::mutex lock_;
  std::condition_variable changed_;
};

class TEngineEvent {
 public:
  explicit TEngineEvent(TEventHub& hub) : hub_(hub) {}
  TEngineEvent(const TEngineEvent&) = delete;
  TEngineEvent& operator=(const TEngineEvent&) = delete;

  void Set();
  void Reset();
  // Waits until the event is signalled or `limit` passes. True when signalled
  // (the event is then reset).
  bool Wait(std::chrono::milliseconds limit);

  // Index in `events` of the first signalled event (now reset), or
  // -1 when `limit` passed. All events must share one hub.
  static int WaitAny(std::initializer_list<TEngineEvent*> events, std::chrono::milliseconds limit);

 private:
  bool TakeLocked();  // hub lock held

  TEventHub& hub_;
  bool signalled_ = false;
};
