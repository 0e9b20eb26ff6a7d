#include "Lnsqueue.h"

#include <algorithm>
#include <cstring>

TIOQueue::TIOQueue() = default;

void TIOQueue::Push(std::unique_ptr<TIOBuffer> entry) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    Entries.push_back(std::move(entry));
  }
  QueueEvent.Set();
}

bool TIOQueue::PushAllIfGeneration(std::unique_ptr<TIOBuffer>* entries, std::size_t count,
                                   uint64_t generation) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    if (generation != Generation_) {
      for (std::size_t i = 0; i < count; ++i) entries[i].reset();
      return false;
    }
    for (std::size_t i = 0; i < count; ++i) Entries.push_back(std::move(entries[i]));
  }
  QueueEvent.Set();
  return true;
}

std::size_t TIOQueue::ReadData(uint8_t* buffer, std::size_t length) {
  std::lock_guard<std::mutex> guard(Lock);
  std::size_t copied = 0;
  while (copied < length && !Entries.empty() && !Entries.front()->InUse) {
    TDataBuffer* data = Entries.front()->AsData();
    if (data == nullptr) break;
    const std::size_t take = std::min(length - copied, data->Unread());
    std::memcpy(buffer + copied, data->Data + data->BytesRead, take);
    data->BytesRead += take;
    copied += take;
    if (data->Unread() == 0) Entries.pop_front();
  }
  return copied;
}

std::size_t TIOQueue::FrontDataUnread() const {
  std::lock_guard<std::mutex> guard(Lock);
  if (Entries.empty()) return 0;
  TDataBuffer* data = Entries.front()->AsData();
  return data == nullptr ? 0 : data->Unread();
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
