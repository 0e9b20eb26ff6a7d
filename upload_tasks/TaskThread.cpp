#include "TaskThread.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "Adexcept.h"
#include "Adport.h"
#include "ThreadName.h"
#include "Unit2.h"

std::atomic<bool> TaskRunning{false};

namespace {

// Counts the task objects alive. Never destroyed: a released task's thread may
// still be leaving while the process runs its exit handlers.
struct LiveTaskCount {
  std::mutex mutex;
  std::condition_variable released;
  int count = 0;
};

LiveTaskCount& Live() {
  static auto* live = new LiveTaskCount;
  return *live;
}

}  // namespace

TThread::TThread(TaskHost& host, TaskClock& clock, std::string threadName,
                 std::string terminationLine)
    : host_(host),
      clock_(clock),
      threadName_(std::move(threadName)),
      terminationLine_(std::move(terminationLine)) {
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    ++Live().count;
  }
  TaskRunning = true;
}

TThread::~TThread() {
  std::lock_guard<std::mutex> lock(Live().mutex);
  --Live().count;
  Live().released.notify_all();
}

int TThread::LiveTasks() {
  std::lock_guard<std::mutex> lock(Live().mutex);
  return Live().count;
}

bool TThread::WaitUntilAllReleased(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(Live().mutex);
  return Live().released.wait_for(lock, limit, [] { return Live().count == 0; });
}

void TThread::Start() {
  try {
    std::thread(&TThread::Run, this).detach();
  } catch (...) {
    TaskRunning = false;
    throw;
  }
}

void TThread::RequestStop() {
  stopRequested_ = true;
  host_.Port().WakeInputWaiters();
}

TApdCustomComPort& TThread::Port() { return host_.Port(); }

void TThread::Run() {
  if (!StopRequested()) {
    NameCurrentThread(threadName_);
    TaskRunning = true;
    try {
      Execute();
    } catch (...) {
      // A body handles the failures of its own protocol; whatever still
      // escapes ends the task with nothing but the termination line.
    }
  }
  const TaskEnd end = end_.load();
  try {
    host_.RunOnMainThread([this, end] {
      TaskRunning = false;
      ::TheImageFile().Close();
      host_.AppendLog(terminationLine_);
      host_.TaskEnded(end);
    });
  } catch (...) {
    // The notice failed on the main thread; the task must still be released.
    TaskRunning = false;
  }
  delete this;
}

TThread::WaitOutcome TThread::WaitSeconds(int n) {
  const int64_t start = clock_.WholeSeconds();
  for (;;) {
    if (Port().CharReady()) return WaitOutcome::ByteReady;
    if (StopRequested()) return WaitOutcome::StopRequested;
    RaiseIfLineGone();
    if (clock_.WholeSeconds() > start + n) return WaitOutcome::TimedOut;
    clock_.WaitForInput(Port(), kWaitSlice);
  }
}

TThread::WaitOutcome TThread::WaitWithoutLimit() {
  for (;;) {
    if (Port().CharReady()) return WaitOutcome::ByteReady;
    if (StopRequested()) return WaitOutcome::StopRequested;
    WaitForInputSlice();
  }
}

void TThread::WaitForInputSlice() {
  RaiseIfLineGone();
  clock_.WaitForInput(Port(), kWaitSlice);
}

void TThread::RaiseIfLineGone() {
  const int failure = Port().LineFailure();
  if (failure != 0 && !Port().CharReady()) CheckException(nullptr, failure);
}

void TThread::FlushBoth() {
  Port().FlushInBuffer();
  Port().FlushOutBuffer();
}

std::optional<int64_t> TThread::OpenImageForUpload(const std::string& path,
                                                   UploadProtocol protocol) {
  const ImageAdmission admission = AdmitImage(TheImageFile(), path, protocol);
  if (!admission.Admitted()) {
    ShowBox(admission.refusal, kFileErrorTitle);
    return std::nullopt;
  }
  return admission.length;
}

void TThread::TakeReceived(void* into, uint16_t count) {
  if (Port().GetBlock(into, count) != count) {
    throw EBufferIsEmpty(ecBufferIsEmpty, ErrorMsg(ecBufferIsEmpty));
  }
}

void TThread::CopyReceived(void* into, uint16_t count) {
  if (Port().PeekBlock(into, count) != count) {
    throw EBufferIsEmpty(ecBufferIsEmpty, ErrorMsg(ecBufferIsEmpty));
  }
}
