#include "Lnswin32.h"

namespace {

// Between two looks at a stopping thread the close lets the host pump once.
constexpr auto kCloseWaitSlice = std::chrono::milliseconds(10);

}  // namespace

TApdWin32Dispatcher::TApdWin32Dispatcher() = default;

TApdWin32Dispatcher::~TApdWin32Dispatcher() {
  if (device_.IsOpen()) CloseCom();
  Kill();
  JoinThreads();
}

void TApdWin32Dispatcher::EscapeComFunction(TControlLine line, bool high) {
  device_.SetControlLine(line, high);
}

TDeviceFailure TApdWin32Dispatcher::GetComState(TLineSettings& settings) {
  return device_.GetState(settings);
}

TDeviceFailure TApdWin32Dispatcher::SetComState(const TLineSettings& settings) {
  return device_.SetState(settings);
}

TDeviceFailure TApdWin32Dispatcher::SetupCom(uint16_t inSize, uint16_t outSize) {
  return device_.SetQueueSizes(inSize, outSize);
}

TDeviceFailure TApdWin32Dispatcher::OpenCom(const std::string& name, uint16_t, uint16_t) {
  return device_.Open(name);
}

bool TApdWin32Dispatcher::DeviceOpen() const { return device_.IsOpen(); }

std::size_t TApdWin32Dispatcher::DeviceOutputQueued() { return device_.OutputQueued(); }

void TApdWin32Dispatcher::DeviceWaitSent() { device_.WaitSent(); }

void TApdWin32Dispatcher::SignalOutput() { outputEvent_.Set(); }

void TApdWin32Dispatcher::SetEventMask(uint32_t mask) {
  eventMask_ = mask;
  device_.WakeLineEventWaiter();
}

int TApdWin32Dispatcher::FlushCom(int which) {
  if (which == kFlushInput) {
    // Called under inputLock_ by FlushInBuffer; the queue's lock nests inside.
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    const bool purged = device_.PurgeInput();
    queue_.Clear();
    return purged ? 1 : 0;
  }
  if (!writeThread_ || !writeThread_->Running()) return 0;
  {
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    outRing_.Clear();
  }
  const bool purged = device_.PurgeOutput();
  flushEvent_.Set();
  device_.WakeWriteWaiter();
  // No lock is held here: the write thread needs the output lock to answer.
  generalEvent_.Wait(timings_.flushAcknowledgeWait);
  return purged ? 1 : 0;
}

TDeviceFailure TApdWin32Dispatcher::StartDispatcher() {
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    if (started_) throw Exception("Dispatcher already started.");
    started_ = true;
    killFlag_ = false;
  }
  JoinThreads();
  generalEvent_.Reset();
  // Holds the count above 0 until every thread is launched.
  ++activeThreads_;
  readThread_ = std::make_unique<TReadThread>(*this);
  dispThread_ = std::make_unique<TDispThread>(*this);
  writeThread_ = std::make_unique<TWriteThread>(*this);
  statusThread_ = std::make_unique<TStatusThread>(*this);
  for (auto* thread : {&readThread_, &dispThread_, &writeThread_, &statusThread_}) {
    if (!(*thread)->Start()) {
      ThreadEnded();
      CloseCom();
      return {TDeviceFailureKind::OutOfMemory, 0};
    }
    generalEvent_.Wait(timings_.threadStartWait);
  }
  ThreadEnded();
  return kNoDeviceFailure;
}

void TApdWin32Dispatcher::StopDispatcher() {
  if (started_) CloseCom();
  JoinThreads();
}

void TApdWin32Dispatcher::Kill() {
  killFlag_ = true;
  SetSerialEvent();
  device_.WakeLineEventWaiter();
  device_.WakeWriteWaiter();
  queue_.Signal();
}

void TApdWin32Dispatcher::ThreadEnded() {
  if (--activeThreads_ == 0) started_ = false;
  { std::lock_guard<std::mutex> guard(endLock_); }
  endChanged_.notify_all();
}

void TApdWin32Dispatcher::WaitForThreadEnd(const std::unique_ptr<TApdDispatcherThread>& thread) {
  if (!thread) return;
  // The host gets its turn at least once per thread, however fast it ends.
  do {
    RunCloseWaitPump();
    std::unique_lock<std::mutex> lock(endLock_);
    endChanged_.wait_for(lock, kCloseWaitSlice, [&] { return !thread->Running(); });
  } while (thread->Running());
}

int TApdWin32Dispatcher::CloseCom() {
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    if (closing_) return 0;
    closing_ = true;
  }
  if (started_) {
    killFlag_ = true;
    SetEventMask(0);
    WaitForThreadEnd(statusThread_);
    flushEvent_.Set();
    device_.WakeWriteWaiter();
    WaitForThreadEnd(writeThread_);
    SetSerialEvent();
    generalEvent_.Reset();
    WaitForThreadEnd(readThread_);
    queue_.Signal();
    WaitForThreadEnd(dispThread_);
  }
  JoinThreads();
  const int result = device_.Close();
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  closing_ = false;
  return result;
}

void TApdWin32Dispatcher::JoinThreads() {
  for (auto* thread : {&readThread_, &dispThread_, &writeThread_, &statusThread_}) {
    if (*thread && !(*thread)->Running()) {
      (*thread)->Join();
      thread->reset();
    }
  }
}
