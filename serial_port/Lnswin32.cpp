#include "Lnswin32.h"

namespace {

// Between two looks at a stopping thread the close lets the host pump once.
constexpr auto kCloseWaitSlice = std::chrono::milliseconds(10);

}  // namespace

TApdWin32Dispatcher::TApdWin32Dispatcher() = default;

TApdWin32Dispatcher::~TApdWin32Dispatcher() {
  if (Device.IsOpen()) CloseCom();
  Kill();
  JoinThreads();
}

int TApdWin32Dispatcher::EscapeComFunction(int function) {
  Device.EscapeFunction(function);
  return 0;
}

int TApdWin32Dispatcher::GetComState(TLineSettings& settings) { return Device.GetState(settings); }

int TApdWin32Dispatcher::SetComState(const TLineSettings& settings) {
  return Device.SetState(settings);
}

bool TApdWin32Dispatcher::SetupCom(uint16_t, uint16_t) {
  // A tty's kernel buffers have a fixed size; there is nothing to ask for.
  return true;
}

int TApdWin32Dispatcher::OpenCom(const std::string& name, uint16_t, uint16_t) {
  return OpenResultCode(Device.Open(name));
}

bool TApdWin32Dispatcher::DeviceOpen() const { return Device.IsOpen(); }

std::size_t TApdWin32Dispatcher::DeviceOutputQueued() { return Device.OutputQueued(); }

void TApdWin32Dispatcher::DeviceWaitSent() { Device.WaitSent(); }

void TApdWin32Dispatcher::SignalOutput() { OutputEvent.Set(); }

void TApdWin32Dispatcher::SetEventMask(uint32_t mask) {
  EventMask = mask;
  Device.WakeLineEventWaiter();
}

int TApdWin32Dispatcher::FlushCom(int which) {
  if (which == kFlushInput) {
    // Called under InputLock by FlushInBuffer; the queue's lock nests inside.
    std::lock_guard<std::recursive_mutex> guard(InputLock);
    const bool purged = Device.PurgeInput();
    Queue_.Clear();
    return purged ? 1 : 0;
  }
  if (!WriteThread || !WriteThread->Running()) return 0;
  {
    std::lock_guard<std::recursive_mutex> guard(OutputLock);
    OutRing.WritePos = 0;
    OutRing.ReadPos = 0;
    OutRing.Full = false;
  }
  const bool purged = Device.PurgeOutput();
  FlushEvent.Set();
  Device.WakeWriteWaiter();
  // No lock is held here: the write thread needs the output lock to answer.
  GeneralEvent.Wait(Timings.FlushAcknowledgeWait);
  return purged ? 1 : 0;
}

int TApdWin32Dispatcher::StartDispatcher() {
  {
    std::lock_guard<std::recursive_mutex> guard(GeneralLock);
    if (Started_) throw Exception("Dispatcher already started.");
    Started_ = true;
    KillFlag = false;
  }
  JoinThreads();
  GeneralEvent.Reset();
  // Holds the count above 0 until every thread is launched.
  ++ActiveThreads_;
  ReadThread = std::make_unique<TReadThread>(*this);
  DispThread = std::make_unique<TDispThread>(*this);
  WriteThread = std::make_unique<TWriteThread>(*this);
  StatusThread = std::make_unique<TStatusThread>(*this);
  for (auto* thread : {&ReadThread, &DispThread, &WriteThread, &StatusThread}) {
    if (!(*thread)->Start()) {
      ThreadEnded();
      CloseCom();
      return ecOutOfMemory;
    }
    GeneralEvent.Wait(Timings.ThreadStartWait);
  }
  ThreadEnded();
  return 0;
}

void TApdWin32Dispatcher::StopDispatcher() {
  if (Started_) CloseCom();
  JoinThreads();
}

void TApdWin32Dispatcher::Kill() {
  KillFlag = true;
  SetSerialEvent();
  Device.WakeLineEventWaiter();
  Device.WakeWriteWaiter();
  Queue_.Signal();
}

void TApdWin32Dispatcher::ThreadEnded() {
  if (--ActiveThreads_ == 0) Started_ = false;
  { std::lock_guard<std::mutex> guard(EndLock); }
  EndChanged.notify_all();
}

void TApdWin32Dispatcher::WaitForThreadEnd(const std::unique_ptr<TApdDispatcherThread>& thread) {
  if (!thread) return;
  // The host gets its turn at least once per thread, however fast it ends.
  do {
    RunCloseWaitPump();
    std::unique_lock<std::mutex> lock(EndLock);
    EndChanged.wait_for(lock, kCloseWaitSlice, [&] { return !thread->Running(); });
  } while (thread->Running());
}

int TApdWin32Dispatcher::CloseCom() {
  {
    std::lock_guard<std::recursive_mutex> guard(GeneralLock);
    if (Closing) return 0;
    Closing = true;
  }
  if (Started_) {
    KillFlag = true;
    SetEventMask(0);
    WaitForThreadEnd(StatusThread);
    FlushEvent.Set();
    Device.WakeWriteWaiter();
    WaitForThreadEnd(WriteThread);
    SetSerialEvent();
    GeneralEvent.Reset();
    WaitForThreadEnd(ReadThread);
    Queue_.Signal();
    WaitForThreadEnd(DispThread);
  }
  JoinThreads();
  const int result = Device.Close();
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  Closing = false;
  return result;
}

void TApdWin32Dispatcher::JoinThreads() {
  for (auto* thread : {&ReadThread, &DispThread, &WriteThread, &StatusThread}) {
    if (*thread && !(*thread)->Running()) {
      (*thread)->Join();
      thread->reset();
    }
  }
}
