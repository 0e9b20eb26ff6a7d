#include "Lnsqueue.h"

#include <algorithm>
#include <cstring>

TIOQueue::TIOQueue() = default;

void TIOQueue::Push(std::unique_ptr<TIOBuffer> entry) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(std::move(entry));
  }
  queueEvent_.Set();
}

bool TIOQueue::PushAllIfGeneration(std::unique_ptr<TIOBuffer>* entries, std::size_t count,
                                   uint64_t generation) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (generation != generation_) {
      for (std::size_t i = 0; i < count; ++i) entries[i].reset();
      return false;
    }
    for (std::size_t i = 0; i < count; ++i) entries_.push_back(std::move(entries[i]));
  }
  queueEvent_.Set();
  return true;
}

std::size_t TIOQueue::ReadData(uint8_t* buffer, std::size_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  std::size_t copied = 0;
  while (copied < length && !entries_.empty() && !entries_.front()->inUse) {
    TDataBuffer* data = entries_.front()->AsData();
    if (data == nullptr) break;
    const std::size_t take = std::min(length - copied, data->Unread());
    std::memcpy(buffer + copied, data->data + data->bytesRead, take);
    data->bytesRead += take;
    copied += take;
    if (data->Unread() == 0) entries_.pop_front();
  }
  return copied;
}

std::size_t TIOQueue::FrontDataUnread() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (entries_.empty()) return 0;
  TDataBuffer* data = entries_.front()->AsData();
  return data == nullptr ? 0 : data->Unread();
}

TIOBuffer* TIOQueue::Peek() {
  std::lock_guard<std::mutex> guard(lock_);
  if (entries_.empty() || entries_.front()->inUse) return nullptr;
  entries_.front()->inUse = true;
  return entries_.front().get();
}

void TIOQueue::Unmark(TIOBuffer* entry) {
  std::lock_guard<std::mutex> guard(lock_);
  entry->inUse = false;
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop() {
  std::lock_guard<std::mutex> guard(lock_);
  if (entries_.empty()) return nullptr;
  auto entry = std::move(entries_.front());
  entries_.pop_front();
  entry->inUse = false;
  return entry;
}

void TIOQueue::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  std::deque<std::unique_ptr<TIOBuffer>> kept;
  for (auto& entry : entries_) {
    if (entry->inUse) kept.push_back(std::move(entry));
  }
  entries_.swap(kept);
  ++generation_;
}

uint64_t TIOQueue::Generation() const {
  std::lock_guard<std::mutex> guard(lock_);
  return generation_;
}

bool TIOQueue::Empty() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.empty();
}

std::size_t TIOQueue::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.size();
}

std::size_t TIOQueue::DataBytes() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::size_t bytes = 0;
  for (const auto& entry : entries_) {
    if (const TDataBuffer* data = entry->AsData()) bytes += data->Unread();
  }
  return bytes;
}

bool TIOQueue::WaitForBuffer(std::chrono::milliseconds limit) {
  if (!Empty()) return true;
  queueEvent_.Wait(limit);
  return !Empty();
}

bool TIOQueue::WaitForSignal(std::chrono::milliseconds limit) { return queueEvent_.Wait(limit); }

void TIOQueue::Signal() { queueEvent_.Set(); }
