// The queue between the read thread (and the status thread) and the dispatch
// thread: received data in entries of 256 bytes and line events, in arrival
// order, without a size limit.
//
// Threads: every member may be called from any thread at the same time; the
// queue's own lock guards the list. An entry handed out by Peek is marked in
// use and stays valid until its holder pops it or unmarks it; Clear leaves such
// an entry alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "EngineEvent.h"

class TDataBuffer;

class TIOBuffer {
 public:
  virtual ~TIOBuffer() = default;
  // The entry as a data entry, or nullptr for a status entry.
  virtual TDataBuffer* AsData() { return nullptr; }
  bool inUse = false;  // guarded by the queue's lock
};

class TDataBuffer : public TIOBuffer {
 public:
  static constexpr std::size_t kDataSize = 256;
  uint8_t data[kDataSize];
  std::size_t size = kDataSize;
  std::size_t bytesUsed = 0;  // bytes the read put into data
  std::size_t bytesRead = 0;  // bytes of those already copied out
  std::size_t Unread() const { return bytesUsed - bytesRead; }
  TDataBuffer* AsData() override { return this; }
};

class TStatusBuffer : public TIOBuffer {
 public:
  explicit TStatusBuffer(uint32_t status) : status(status) {}
  uint32_t status;  // line-event mask
};

class TIOQueue {
 public:
  TIOQueue();
  TIOQueue(const TIOQueue&) = delete;
  TIOQueue& operator=(const TIOQueue&) = delete;

  // Appends the entry and sets the queue event.
  void Push(std::unique_ptr<TIOBuffer> entry);
  // Appends the first `count` entries of `entries`, under one lock and with
  // one wake-up, only when no Clear has run since `generation` was read
  // (Generation()); returns whether they were appended. Pushed entries are
  // moved out, dropped ones freed. Lets a reader drop bytes that a flush
  // overtook while they were on their way.
  bool PushAllIfGeneration(std::unique_ptr<TIOBuffer>* entries, std::size_t count,
                           uint64_t generation);
  // Copies up to `length` bytes out of the data entries at the front, freeing
  // each entry once it is read out; stops at a status entry or an entry in
  // use. Returns the count. One lock for the whole copy.
  std::size_t ReadData(uint8_t* buffer, std::size_t length);
  // Unread bytes of the first entry when that is a data entry, else 0.
  std::size_t FrontDataUnread() const;
  // The first entry, marked in use; nullptr when empty or already in use.
  TIOBuffer* Peek();
  // Clears the in-use mark of an entry that Peek handed out.
  void Unmark(TIOBuffer* entry);
  // Removes the first entry and hands it over (nullptr when empty).
  std::unique_ptr<TIOBuffer> Pop();
  // Frees every entry that is not in use.
  void Clear();
  uint64_t Generation() const;
  bool Empty() const;
  std::size_t Count() const;
  // Unread bytes of every data entry.
  std::size_t DataBytes() const;

  // Returns at once when the queue holds an entry; otherwise waits for the
  // queue event up to `limit`. True when an entry is there at the end.
  bool WaitForBuffer(std::chrono::milliseconds limit);
  // Waits for the next push (or Signal) up to `limit`, whatever the queue holds.
  bool WaitForSignal(std::chrono::milliseconds limit);
  // Sets the queue event without pushing, so that a waiting consumer looks again.
  void Signal();

 private:
  mutable std::mutex lock_;
  std::deque<std::unique_ptr<TIOBuffer>> entries_;
  uint64_t generation_ = 0;
  TEventHub hub_;
  TEngineEvent queueEvent_{hub_};
};
