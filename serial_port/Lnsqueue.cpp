#include "Lnsqueue.h"

TIOQueue::TIOQueue() = default;

void TIOQueue::Push(std::unique_ptr<TIOBuffer> entry) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    Entries.push_back(std::move(entry));
  }
  QueueEvent.Set();
}

bool TIOQueue::PushIfGeneration(std::unique_ptr<TIOBuffer> entry, uint64_t generation) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    if (generation != Generation_) return false;
    Entries.push_back(std::move(entry));
  }
  QueueEvent.Set();
  return true;
}

TIOBuffer* TIOQueue::Peek() {
  std::lock_guard<std::mutex> guard(Lock);
  if (Entries.empty() || Entries.front()->InUse) return nullptr;
  Entries.front()->InUse = true;
  return Entries.front().get();
}

void TIOQueue::Unmark(TIOBuffer* entry) {
  std::lock_guard<std::mutex> guard(Lock);
  entry->InUse = false;
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop() {
  std::lock_guard<std::mutex> guard(Lock);
  if (Entries.empty()) return nullptr;
  auto entry = std::move(Entries.front());
  Entries.pop_front();
  entry->InUse = false;
  return entry;
}

void TIOQueue::Clear() {
  std::lock_guard<std::mutex> guard(Lock);
  std::deque<std::unique_ptr<TIOBuffer>> kept;
  for (auto& entry : Entries) {
    if (entry->InUse) kept.push_back(std::move(entry));
  }
  Entries.swap(kept);
  ++Generation_;
}

uint64_t TIOQueue::Generation() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Generation_;
}

bool TIOQueue::Empty() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Entries.empty();
}

std::size_t TIOQueue::Count() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Entries.size();
}

bool TIOQueue::WaitForBuffer(std::chrono::milliseconds limit) {
  if (!Empty()) return true;
  QueueEvent.Wait(limit);
  return !Empty();
}

bool TIOQueue::WaitForSignal(std::chrono::milliseconds limit) { return QueueEvent.Wait(limit); }

void TIOQueue::Signal() { QueueEvent.Set(); }
