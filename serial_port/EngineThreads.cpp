// The four engine threads of TApdWin32Dispatcher.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "Lnswin32.h"

namespace {

constexpr int kReadWaitSliceMs = 50;
constexpr auto kDispatchWaitSlice = std::chrono::milliseconds(50);
constexpr auto kWriteWaitSlice = std::chrono::milliseconds(100);
constexpr int kStatusWaitSliceMs = 100;
constexpr int kWriteRoomWaitSliceMs = 100;
// Entries one read may fill at once: a burst costs one system call, yet bytes
// still travel in 256-byte entries.
constexpr std::size_t kEntriesPerRead = 64;

constexpr int kReadFailure = ecDeviceReadError;
constexpr int kWriteFailure = ecDeviceWriteError;

// The line event a change of each modem line raises.
struct TModemEvent {
  bool TModemLines::*line;
  uint32_t event;
};
constexpr std::array<TModemEvent, 3> kModemEvents{{
    {&TModemLines::cts, kEventCts},
    {&TModemLines::dsr, kEventDsr},
    {&TModemLines::rlsd, kEventRlsd},
}};

// A failure of a device call ends an engine thread with `code`, except that a
// handle closed under the call (the port is closing) is no failure to report.
int ThreadFailureCode(const TDeviceFailure& failure, int code) {
  return failure.kind == TDeviceFailureKind::NotOpen ? 0 : code;
}

}  // namespace

// ------------------------------------------------------------ thread frame

TApdDispatcherThread::~TApdDispatcherThread() { Join(); }

bool TApdDispatcherThread::Start() {
  // Counted before it runs, so that an early end of one thread cannot bring
  // the count to 0 while its siblings are still being started.
  running_ = true;
  ++owner_.activeThreads_;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    running_ = false;
    owner_.ThreadEnded();
    return false;
  }
  return true;
}

void TApdDispatcherThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TApdDispatcherThread::Run() {
  owner_.generalEvent_.Set();
  try {
    Execute();
  } catch (const std::bad_alloc&) {
    failureCode_ = ecTapiNoMem;
    owner_.Kill();
  }
  if (failureCode_ != 0) {
    owner_.NoteLineFailure(failureCode_);
    try {
      CheckException(nullptr, failureCode_);
    } catch (const Exception& e) {
      ReportThreadFailure(e.ClassName(), e.what());
    }
  }
  running_ = false;
  owner_.ThreadEnded();
}

// ------------------------------------------------------------- read thread

void TReadThread::Execute() {
  // Entries that went straight into the ring come back here and are reused;
  // only queued ones are replaced.
  std::array<std::unique_ptr<TIOBuffer>, kEntriesPerRead> entries;
  std::array<uint8_t*, kEntriesPerRead> areas{};
  while (!owner_.killFlag_) {
    const auto waited = owner_.device_.WaitReadable(kReadWaitSliceMs);
    if (owner_.killFlag_) break;
    if (waited == TSerialDevice::TWaitResult::Failed) {
      failureCode_ = kReadFailure;
      owner_.Kill();
      return;
    }
    while (!owner_.killFlag_) {
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i]) entries[i].reset(new (std::nothrow) TDataBuffer);
        if (!entries[i]) {
          failureCode_ = ecTapiNoMem;
          owner_.Kill();
          return;
        }
        TDataBuffer* data = entries[i]->AsData();
        data->bytesUsed = 0;
        data->bytesRead = 0;
        areas[i] = data->data;
      }
      // A flush that runs while these bytes are on their way drops them.
      const uint64_t generation = owner_.queue_.Generation();
      const TTransfer got = owner_.device_.Read(areas.data(), areas.size(), TDataBuffer::kDataSize);
      if (got.failure.Failed()) {
        failureCode_ = ThreadFailureCode(got.failure, kReadFailure);
        owner_.Kill();
        return;
      }
      std::size_t left = got.count;
      std::size_t filled = 0;
      while (left != 0) {
        TDataBuffer* data = entries[filled]->AsData();
        data->bytesUsed = std::min(left, TDataBuffer::kDataSize);
        left -= data->bytesUsed;
        ++filled;
      }
      if (filled != 0) owner_.DeliverReceived(entries.data(), filled, generation);
      // A line that hung up and has nothing more to give is gone.
      if (got.count == 0 && waited == TSerialDevice::TWaitResult::HungUp) {
        failureCode_ = kReadFailure;
        owner_.Kill();
        return;
      }
      // A short read means the device is empty for now.
      if (got.count < entries.size() * TDataBuffer::kDataSize) break;
    }
  }
}

// ----------------------------------------------------------- status thread

void TStatusThread::Execute() {
  TModemLines modem = owner_.device_.ModemLines();
  while (!owner_.killFlag_) {
    const auto result = owner_.device_.WaitLineEvent(kStatusWaitSliceMs);
    if (owner_.killFlag_) break;
    if (result == TSerialDevice::TWaitResult::HungUp ||
        result == TSerialDevice::TWaitResult::Failed) {
      failureCode_ = kReadFailure;
      owner_.Kill();
      break;
    }
    const uint32_t mask = owner_.eventMask_;
    // Modem lines have no wake-up of their own; they are looked at once a slice.
    const TModemLines now = owner_.device_.ModemLines();
    uint32_t events = 0;
    for (const TModemEvent& m : kModemEvents) {
      if (now.*m.line != modem.*m.line) events |= m.event;
    }
    if (now.ring && !modem.ring) events |= kEventRing;
    modem = now;
    events &= mask & kQueuedEvents;
    if (events != 0) {
      auto entry = std::unique_ptr<TStatusBuffer>(new (std::nothrow) TStatusBuffer(events));
      if (!entry) {
        failureCode_ = ecTapiNoMem;
        owner_.Kill();
        break;
      }
      owner_.queue_.Push(std::move(entry));
    }
  }
}

// --------------------------------------------------------- dispatch thread

void TDispThread::Execute() {
  bool stalled = false;
  while (!owner_.killFlag_) {
    // A full ring leaves bytes in the queue; then only a push or room made by
    // GetBlock/FlushInBuffer is worth another pass.
    if (stalled) {
      owner_.queue_.WaitForSignal(kDispatchWaitSlice);
    } else {
      owner_.queue_.WaitForBuffer(kDispatchWaitSlice);
    }
    if (owner_.killFlag_) break;

    uint32_t mask = 0;
    if (TIOBuffer* entry = owner_.queue_.Peek()) {
      if (entry->AsData() == nullptr) {
        mask = static_cast<TStatusBuffer*>(entry)->status;
        owner_.queue_.Pop();
      } else {
        owner_.queue_.Unmark(entry);
      }
    }
    // Nothing in this program reads the modem or line-status snapshots, so the
    // pass only has to move the data.
    const std::size_t moved = owner_.MoveReceivedData();
    stalled = moved == 0 && mask == 0 && !owner_.queue_.Empty();
  }
}

// ------------------------------------------------------------ write thread

void TWriteThread::Execute() {
  while (!owner_.killFlag_) {
    const int signalled =
        TEngineEvent::WaitAny({&owner_.outputEvent_, &owner_.flushEvent_}, kWriteWaitSlice);
    if (owner_.killFlag_) break;
    if (signalled == 0) {
      const TDeviceFailure failure = WriteOut();
      if (failure.Failed()) {
        failureCode_ = ThreadFailureCode(failure, kWriteFailure);
        owner_.Kill();
        break;
      }
    } else if (signalled == 1) {
      owner_.generalEvent_.Set();  // the flush is acknowledged
    }
  }
  // A flush that arrives while this thread ends has nothing left to drop;
  // answering it spares the flusher its full wait.
  owner_.generalEvent_.Set();
}

TWriteThread::TRoom TWriteThread::WaitForRoom() {
  for (;;) {
    if (owner_.killFlag_) return TRoom::Dropped;
    if (owner_.flushEvent_.Wait(std::chrono::milliseconds(0))) {
      owner_.generalEvent_.Set();
      return TRoom::Dropped;
    }
    switch (owner_.device_.WaitWritable(kWriteRoomWaitSliceMs)) {
      case TSerialDevice::TWaitResult::Ready: return TRoom::Ready;
      case TSerialDevice::TWaitResult::HungUp:
      case TSerialDevice::TWaitResult::Failed: return TRoom::Failed;
      default: break;
    }
  }
}

TDeviceFailure TWriteThread::WriteBlock(const std::vector<uint8_t>& block) {
  std::size_t offset = 0;
  while (offset < block.size()) {
    if (owner_.flushEvent_.Wait(std::chrono::milliseconds(0))) {
      owner_.generalEvent_.Set();
      return kNoDeviceFailure;
    }
    const TTransfer sent = owner_.device_.Write(block.data() + offset, block.size() - offset);
    if (sent.failure.Failed()) return sent.failure;
    offset += sent.count;
    if (sent.count != 0) continue;
    switch (WaitForRoom()) {
      case TRoom::Ready: break;
      case TRoom::Dropped: return kNoDeviceFailure;
      case TRoom::Failed: return {TDeviceFailureKind::HungUp, 0};
    }
  }
  return kNoDeviceFailure;
}

TDeviceFailure TWriteThread::WriteOut() {
  for (;;) {
    const std::vector<uint8_t> block = owner_.TakeOutputBlock();
    if (block.empty()) return kNoDeviceFailure;
    const TDeviceFailure failure = WriteBlock(block);
    owner_.OutputBlockDone();
    if (failure.Failed()) return failure;
  }
}
