#include "Adport.h"

#include <condition_variable>

#include "Awuser.h"
#include "DeviceFailure.h"
#include "EngineHooks.h"
#include "Lnswin32.h"
#include "PortList.h"

namespace {

// While a close waits for an operation of another thread to finish, it lets
// the host pump this often.
constexpr auto kOperationWaitSlice = std::chrono::milliseconds(10);

std::mutex& PromptLock() {
  static std::mutex lock;
  return lock;
}

TPortPromptHook& PromptHook() {
  static TPortPromptHook hook;
  return hook;
}

}  // namespace

void SetPortPromptHook(TPortPromptHook hook) {
  std::lock_guard<std::mutex> guard(PromptLock());
  PromptHook() = std::move(hook);
}

struct TApdCustomComPort::State {
  uint16_t ComNumber = 0;
  int32_t Baud = 19200;
  TParity Parity = pNone;
  uint16_t DataBits = 8;
  uint16_t StopBits = 1;
  uint16_t InSize = 4096;
  uint16_t OutSize = 4096;
  bool PromptForPort = true;
  std::atomic<bool> AutoOpen{true};
  bool DTR = true;
  bool RTS = true;
  THWFlowOptions HWFlowOptions = 0;
  TSWFlowOptions SWFlowOptions = swfNone;
  char XOnChar = 17;
  char XOffChar = 19;
  TTraceLogState Tracing = tlOff;
  TTraceLogState Logging = tlOff;
  bool UseEventWord = true;
  TTapiMode TapiMode = tmAuto;
  TDeviceLayer DeviceLayer = dlWin32;
  std::string DevicePath;

  std::atomic<TPortState> PortState{psClosed};
  std::atomic<bool> Open{false};
  // Written only by the owner's thread while no operation can be inside it
  // (see TOperationGuard).
  std::unique_ptr<TApdBaseDispatcher> Engine;

  // Operations of other threads now inside the engine. A close waits for 0
  // after it has set psShuttingDown; an operation counts itself before it
  // looks at the state, so one of the two always sees the other.
  std::atomic<int> OperationsInProgress{0};
  std::mutex OperationsLock;
  std::condition_variable OperationsDone;
};

class TApdCustomComPort::TOperationGuard {
 public:
  explicit TOperationGuard(State& state) : s(state) { ++s.OperationsInProgress; }
  ~TOperationGuard() {
    if (--s.OperationsInProgress == 0 && s.PortState == psShuttingDown) {
      { std::lock_guard<std::mutex> guard(s.OperationsLock); }
      s.OperationsDone.notify_all();
    }
  }
  TOperationGuard(const TOperationGuard&) = delete;
  TOperationGuard& operator=(const TOperationGuard&) = delete;

 private:
  State& s;
};

TApdCustomComPort::TApdCustomComPort() : s_(std::make_unique<State>()) {}

TApdCustomComPort::~TApdCustomComPort() { TApdCustomComPort::DonePort(); }

// ------------------------------------------------------------------ settings

template <class T>
void TApdCustomComPort::ChangeLineValue(T& field, T value) {
  if (value == field) return;
  field = value;
  if (s_->PortState != psOpen) return;
  RaiseDeviceFailure(this, s_->Engine->SetLine(s_->Baud, static_cast<uint8_t>(s_->Parity),
                                               s_->DataBits, s_->StopBits));
}

uint16_t TApdCustomComPort::ComNumber() const { return s_->ComNumber; }

void TApdCustomComPort::SetComNumber(uint16_t value) {
  if (value == s_->ComNumber) return;
  if (s_->PortState == psOpen) {
    DonePort();
    s_->ComNumber = value;
    InitPort();
    return;
  }
  s_->ComNumber = value;
}

int32_t TApdCustomComPort::Baud() const { return s_->Baud; }

void TApdCustomComPort::SetBaud(int32_t value) { ChangeLineValue(s_->Baud, value); }

TParity TApdCustomComPort::Parity() const { return s_->Parity; }

void TApdCustomComPort::SetParity(TParity value) { ChangeLineValue(s_->Parity, value); }

uint16_t TApdCustomComPort::DataBits() const { return s_->DataBits; }

void TApdCustomComPort::SetDataBits(uint16_t value) { ChangeLineValue(s_->DataBits, value); }

uint16_t TApdCustomComPort::StopBits() const { return s_->StopBits; }

void TApdCustomComPort::SetStopBits(uint16_t value) { ChangeLineValue(s_->StopBits, value); }

uint16_t TApdCustomComPort::InSize() const { return s_->InSize; }
void TApdCustomComPort::SetInSize(uint16_t value) { s_->InSize = value; }
uint16_t TApdCustomComPort::OutSize() const { return s_->OutSize; }
void TApdCustomComPort::SetOutSize(uint16_t value) { s_->OutSize = value; }
bool TApdCustomComPort::PromptForPort() const { return s_->PromptForPort; }
void TApdCustomComPort::SetPromptForPort(bool value) { s_->PromptForPort = value; }
bool TApdCustomComPort::AutoOpen() const { return s_->AutoOpen; }
void TApdCustomComPort::SetAutoOpen(bool value) { s_->AutoOpen = value; }

bool TApdCustomComPort::DTR() const { return s_->DTR; }

void TApdCustomComPort::SetDTR(bool value) {
  if (value == s_->DTR) return;
  s_->DTR = value;
  if (s_->PortState == psOpen) RaiseDeviceFailure(this, s_->Engine->SetDTR(value));
}

bool TApdCustomComPort::RTS() const { return s_->RTS; }

void TApdCustomComPort::SetRTS(bool value) {
  if (value == s_->RTS) return;
  s_->RTS = value;
  if (s_->PortState == psOpen) RaiseDeviceFailure(this, s_->Engine->SetRTS(value));
}

THWFlowOptions TApdCustomComPort::HWFlowOptions() const { return s_->HWFlowOptions; }

void TApdCustomComPort::SetHWFlowOptions(THWFlowOptions value) {
  if (value == s_->HWFlowOptions) return;
  s_->HWFlowOptions = value;
  if (s_->PortState == psOpen) RaiseDeviceFailure(this, s_->Engine->SetHWFlowOptions(value));
}

TSWFlowOptions TApdCustomComPort::SWFlowOptions() const { return s_->SWFlowOptions; }

void TApdCustomComPort::SetSWFlowOptions(TSWFlowOptions value) {
  if (value == s_->SWFlowOptions) return;
  s_->SWFlowOptions = value;
  if (s_->PortState == psOpen) RaiseDeviceFailure(this, s_->Engine->SetSWFlowOptions(value));
}

char TApdCustomComPort::XOnChar() const { return s_->XOnChar; }

void TApdCustomComPort::SetXOnChar(char value) {
  if (value == s_->XOnChar) return;
  s_->XOnChar = value;
  if (s_->PortState == psOpen) {
    RaiseDeviceFailure(this, s_->Engine->SetFlowChars(s_->XOnChar, s_->XOffChar));
  }
}

char TApdCustomComPort::XOffChar() const { return s_->XOffChar; }

void TApdCustomComPort::SetXOffChar(char value) {
  if (value == s_->XOffChar) return;
  s_->XOffChar = value;
  if (s_->PortState == psOpen) {
    RaiseDeviceFailure(this, s_->Engine->SetFlowChars(s_->XOnChar, s_->XOffChar));
  }
}

// Tracing and logging of the data stream are not part of this program; the
// values are kept for whoever reads them back.
TTraceLogState TApdCustomComPort::Tracing() const { return s_->Tracing; }
void TApdCustomComPort::SetTracing(TTraceLogState value) { s_->Tracing = value; }
TTraceLogState TApdCustomComPort::Logging() const { return s_->Logging; }
void TApdCustomComPort::SetLogging(TTraceLogState value) { s_->Logging = value; }
bool TApdCustomComPort::UseEventWord() const { return s_->UseEventWord; }
void TApdCustomComPort::SetUseEventWord(bool value) { s_->UseEventWord = value; }
TTapiMode TApdCustomComPort::TapiMode() const { return s_->TapiMode; }
void TApdCustomComPort::SetTapiMode(TTapiMode value) { s_->TapiMode = value; }
TDeviceLayer TApdCustomComPort::DeviceLayer() const { return s_->DeviceLayer; }
void TApdCustomComPort::SetDeviceLayer(TDeviceLayer value) { s_->DeviceLayer = value; }
const std::string& TApdCustomComPort::DevicePath() const { return s_->DevicePath; }
void TApdCustomComPort::SetDevicePath(const std::string& path) { s_->DevicePath = path; }

// ------------------------------------------------------------ open and close

bool TApdCustomComPort::Open() const { return s_->Open; }

TPortState TApdCustomComPort::PortState() const { return s_->PortState; }

TApdBaseDispatcher* TApdCustomComPort::Dispatcher() const { return s_->Engine.get(); }

void TApdCustomComPort::SetOpen(bool value) {
  if (value == s_->Open) return;
  if (value) {
    if (s_->PortState == psClosed) InitPort();
  } else {
    DonePort();
  }
}

void TApdCustomComPort::ValidateComport() {
  if (s_->ComNumber != 0 || !s_->DevicePath.empty()) return;
  if (!s_->PromptForPort) CheckException(this, ecNoPortSelected);
  TPortPromptHook hook;
  {
    std::lock_guard<std::mutex> guard(PromptLock());
    hook = PromptHook();
  }
  std::optional<uint16_t> chosen;
  if (hook) chosen = hook();
  if (!chosen) CheckException(this, ecNoPortSelected);
  s_->ComNumber = *chosen;
}

void TApdCustomComPort::ActivateDeviceLayer() {
  // Only the serial engine exists here, whatever DeviceLayer says.
  s_->Engine = std::make_unique<TApdWin32Dispatcher>();
}

void TApdCustomComPort::InitializePort() {
  const std::string device =
      s_->DevicePath.empty() ? DeviceForComNumber(s_->ComNumber) : s_->DevicePath;
  unsigned options = 0;
  if (s_->DTR) options |= kOptionDtrHigh;
  if (s_->RTS) options |= kOptionRtsHigh;
  if (s_->HWFlowOptions & hwfUseDTR) options |= kOptionDtrHandshake;
  if (s_->HWFlowOptions & hwfUseRTS) options |= kOptionRtsHandshake;
  RaiseDeviceFailure(
      this, device.empty() ? TDeviceFailure{TDeviceFailureKind::NoDevice, 0}
                           : s_->Engine->InitPort(device, s_->Baud,
                                                  static_cast<uint8_t>(s_->Parity), s_->DataBits,
                                                  s_->StopBits, s_->InSize, s_->OutSize, options));
}

void TApdCustomComPort::InitPort() {
  if (s_->TapiMode != tmOn) ValidateComport();
  ActivateDeviceLayer();
  try {
    InitializePort();
    s_->PortState = psOpen;
    TApdBaseDispatcher& engine = *s_->Engine;
    RaiseDeviceFailure(this, engine.SetHWFlowOptions(s_->HWFlowOptions));
    RaiseDeviceFailure(this, engine.SetSWFlowOptions(s_->SWFlowOptions));
    RaiseDeviceFailure(this, engine.SetFlowChars(s_->XOnChar, s_->XOffChar));
    RaiseDeviceFailure(this, engine.SetDTR(s_->DTR));
    RaiseDeviceFailure(this, engine.SetRTS(s_->RTS));
    s_->Open = true;
  } catch (...) {
    s_->Open = false;
    if (s_->PortState == psOpen) {
      s_->PortState = psShuttingDown;
      ReleaseEngineAfterOperations();
    } else {
      s_->Engine.reset();
    }
    s_->PortState = psClosed;
    throw;
  }
}

void TApdCustomComPort::ReleaseEngineAfterOperations() {
  s_->Engine->BeginShutdown();
  std::unique_lock<std::mutex> lock(s_->OperationsLock);
  while (s_->OperationsInProgress != 0) {
    lock.unlock();
    RunCloseWaitPump();
    lock.lock();
    s_->OperationsDone.wait_for(lock, kOperationWaitSlice,
                                [this] { return s_->OperationsInProgress == 0; });
  }
  lock.unlock();
  s_->Engine->DonePort();
  s_->Engine.reset();
}

void TApdCustomComPort::DonePort() {
  if (s_->PortState != psOpen) return;
  s_->PortState = psShuttingDown;
  ReleaseEngineAfterOperations();
  s_->PortState = psClosed;
  s_->Open = false;
}

// ---------------------------------------------------------------- operations

template <class R, class Body>
R TApdCustomComPort::RunOperation(R notOpen, TWhenClosed whenClosed, Body&& body) {
  for (;;) {
    const TPortState state = s_->PortState;
    if (state == psShuttingDown) return notOpen;
    if (state == psClosed) {
      if (whenClosed == TWhenClosed::ReturnAtOnce) return notOpen;
      if (!s_->AutoOpen) CheckException(this, ecCommNotOpen);
      SetOpen(true);
      continue;
    }
    TOperationGuard guard(*s_);
    // Looked at again now that the close can see this operation.
    if (s_->PortState != psOpen) continue;
    return body(*s_->Engine);
  }
}

bool TApdCustomComPort::CharReady() {
  return RunOperation(false, TWhenClosed::OpenOrRaise,
                      [](TApdBaseDispatcher& e) { return e.CharReady(); });
}

uint16_t TApdCustomComPort::GetBlock(void* Block, uint16_t Len) {
  return RunOperation<uint16_t>(0, TWhenClosed::OpenOrRaise, [&](TApdBaseDispatcher& e) {
    return static_cast<uint16_t>(CheckException(this, e.GetBlock(Block, Len)));
  });
}

uint16_t TApdCustomComPort::PeekBlock(void* Block, uint16_t Len) {
  return RunOperation<uint16_t>(0, TWhenClosed::OpenOrRaise, [&](TApdBaseDispatcher& e) {
    return static_cast<uint16_t>(CheckException(this, e.PeekBlock(Block, Len)));
  });
}

int TApdCustomComPort::PutBlock(const void* Block, uint16_t Len) {
  return RunOperation(0, TWhenClosed::OpenOrRaise, [&](TApdBaseDispatcher& e) {
    CheckException(this, e.PutBlock(Block, Len));
    return 0;
  });
}

void TApdCustomComPort::PutChar(uint8_t C) { PutBlock(&C, 1); }

void TApdCustomComPort::FlushInBuffer() {
  RunOperation(0, TWhenClosed::OpenOrRaise,
               [&](TApdBaseDispatcher& e) { return CheckException(this, e.FlushInBuffer()); });
}

void TApdCustomComPort::FlushOutBuffer() {
  RunOperation(0, TWhenClosed::OpenOrRaise,
               [&](TApdBaseDispatcher& e) { return CheckException(this, e.FlushOutBuffer()); });
}

// ---------------------------------------------------- waits and ring levels

bool TApdCustomComPort::WaitForInput(std::chrono::milliseconds limit) {
  return RunOperation(false, TWhenClosed::ReturnAtOnce,
                      [limit](TApdBaseDispatcher& e) { return e.WaitForInput(limit); });
}

void TApdCustomComPort::WakeInputWaiters() {
  RunOperation(0, TWhenClosed::ReturnAtOnce, [](TApdBaseDispatcher& e) {
    e.WakeInputWaiters();
    return 0;
  });
}

bool TApdCustomComPort::WaitForOutputDrained(std::chrono::milliseconds limit) {
  return RunOperation(false, TWhenClosed::ReturnAtOnce,
                      [limit](TApdBaseDispatcher& e) { return e.WaitForOutputDrained(limit); });
}

bool TApdCustomComPort::WaitForLineGone(std::chrono::microseconds limit) {
  if (s_->PortState != psOpen) return true;
  TOperationGuard guard(*s_);
  if (s_->PortState != psOpen) return true;
  return s_->Engine->WaitForLineGone(limit);
}

int TApdCustomComPort::LineFailure() {
  return RunOperation(0, TWhenClosed::ReturnAtOnce,
                      [](TApdBaseDispatcher& e) { return e.LineFailure(); });
}

uint32_t TApdCustomComPort::InBuffUsed() {
  return RunOperation<uint32_t>(0, TWhenClosed::ReturnAtOnce, [](TApdBaseDispatcher& e) {
    return static_cast<uint32_t>(e.InBuffUsed());
  });
}

uint32_t TApdCustomComPort::OutBuffFree() {
  return RunOperation<uint32_t>(0, TWhenClosed::ReturnAtOnce, [](TApdBaseDispatcher& e) {
    return static_cast<uint32_t>(e.OutBuffFree());
  });
}
