#include "Awuser.h"

#include <new>
#include <thread>

#include "SerialDevice.h"

namespace {

// The pause after it: about this many character times at the old framing.
constexpr uint32_t kSettleCharacterTimes = 18;
// The pause is doubled when it comes out below this (tenths of a microsecond).
constexpr uint32_t kShortSettleLimit = 10000;
constexpr uint32_t kTenthsOfMicrosecondPerSecond = 10000000;
constexpr uint32_t kTenthsOfMicrosecondPerMillisecond = 10000;
// How often WaitForOutputDrained looks at the device's own output queue.
constexpr auto kDeviceDrainPoll = std::chrono::milliseconds(1);

// The speed the settle pause assumes until a store has recorded a real one.
constexpr uint32_t kInitialLastBaud = 115200;

// Values of SetLine's arguments that keep the current setting.
constexpr uint8_t kKeepParity = 5;
constexpr uint16_t kKeepDataBits = 9;
constexpr uint16_t kKeepStopBits = 3;

std::mutex& TimingsLock() {
  static std::mutex lock;
  return lock;
}

TEngineTimings& ProcessTimings() {
  static TEngineTimings timings;
  return timings;
}

}  // namespace

void SetEngineTimings(const TEngineTimings& timings) {
  std::lock_guard<std::mutex> guard(TimingsLock());
  ProcessTimings() = timings;
}

TEngineTimings EngineTimings() {
  std::lock_guard<std::mutex> guard(TimingsLock());
  return ProcessTimings();
}

TApdBaseDispatcher::TApdBaseDispatcher() = default;
TApdBaseDispatcher::~TApdBaseDispatcher() = default;

// ---------------------------------------------------------------- queue side

int TApdBaseDispatcher::ReadCom(uint8_t* buffer, std::size_t length) {
  // A line event at the front holds back the data behind it until the
  // dispatch thread has taken it off the queue.
  return static_cast<int>(queue_.ReadData(buffer, length));
}

int TApdBaseDispatcher::InQueueUsed() { return static_cast<int>(queue_.FrontDataUnread()); }

std::size_t TApdBaseDispatcher::MoveReceivedData() {
  std::size_t moved = 0;
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    if (inRing_.Full()) return 0;
    const std::size_t available = static_cast<std::size_t>(InQueueUsed());
    if (available == 0) return 0;
    moved = inRing_.Fill(available, [this](uint8_t* at, std::size_t room) {
      return static_cast<std::size_t>(ReadCom(at, room));
    });
  }
  if (moved != 0) NotifyInputArrived();
  return moved;
}

void TApdBaseDispatcher::DeliverReceived(std::unique_ptr<TIOBuffer>* entries, std::size_t count,
                                         uint64_t generation) {
  std::size_t moved = 0;
  std::size_t first = 0;
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    // FlushInBuffer clears the queue under inputLock_, so the generation read
    // here cannot change before these bytes are placed.
    if (queue_.Generation() != generation) return;
    if (inRing_.Size() != 0 && queue_.Empty()) {
      for (; first < count; ++first) {
        TDataBuffer* data = entries[first]->AsData();
        const std::size_t put = inRing_.Write(data->data + data->bytesRead, data->Unread());
        data->bytesRead += put;
        moved += put;
        if (data->Unread() != 0) break;
      }
    }
    if (first < count) queue_.PushAllIfGeneration(entries + first, count - first, generation);
  }
  if (moved != 0) NotifyInputArrived();
}

// ------------------------------------------------------------- transmit side

int TApdBaseDispatcher::WriteCom(const uint8_t* buffer, std::size_t length) {
  outRing_.Write(buffer, length);
  SignalOutput();
  return static_cast<int>(length);
}

int TApdBaseDispatcher::OutBufUsed() {
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  return static_cast<int>(outRing_.Used());
}

std::vector<uint8_t> TApdBaseDispatcher::TakeOutputBlock() {
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  if (outRing_.Empty()) return {};
  writeInFlight_ = true;
  return outRing_.TakeAll();
}

void TApdBaseDispatcher::OutputBlockDone() {
  writeInFlight_ = false;
  NotifyOutputProgress();
}

// ------------------------------------------------------------ open and close

bool TApdBaseDispatcher::AllocateRings(std::size_t outSize) {
  try {
    TByteRing in(kReceiveRingSize);
    TByteRing out(outSize);
    {
      std::lock_guard<std::recursive_mutex> guard(inputLock_);
      inRing_ = std::move(in);
    }
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    outRing_ = std::move(out);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void TApdBaseDispatcher::ReleaseRings() {
  std::lock_guard<std::recursive_mutex> general(generalLock_);
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    inRing_ = TByteRing{};
  }
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  outRing_ = TByteRing{};
}

void TApdBaseDispatcher::DonePortPrim() {
  StopDispatcher();
  ReleaseRings();
}

TDeviceFailure TApdBaseDispatcher::InitPort(const std::string& name, int32_t baud, uint8_t parity,
                                            uint16_t dataBits, uint16_t stopBits, uint16_t inSize,
                                            uint16_t outSize, unsigned options) {
  shuttingDown_ = false;
  lineFailure_ = 0;
  outputDrained_ = false;
  auto release = [this](TDeviceFailure failure) {
    DonePort();
    return failure;
  };
  if (TDeviceFailure failure = OpenCom(name, inSize, outSize); failure.Failed()) {
    return release(failure);
  }
  if (TDeviceFailure failure = SetupCom(inSize, outSize); failure.Failed()) {
    return release(failure);
  }
  if (!AllocateRings(outSize)) return release({TDeviceFailureKind::OutOfMemory, 0});
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    inSize_ = inSize;
    dtrHandshake_ = (options & kOptionDtrHandshake) != 0;
    if (!dtrHandshake_) {
      dtrLevel_ = (options & kOptionDtrHigh) != 0;
      EscapeComFunction(TControlLine::Dtr, dtrLevel_);
    }
    rtsHandshake_ = (options & kOptionRtsHandshake) != 0;
    if (!rtsHandshake_) {
      rtsLevel_ = (options & kOptionRtsHigh) != 0;
      EscapeComFunction(TControlLine::Rts, rtsLevel_);
    }
    lastBaud_ = kInitialLastBaud;
  }
  if (TDeviceFailure failure = SetLine(baud, parity, dataBits, stopBits); failure.Failed()) {
    return release(failure);
  }
  if (TDeviceFailure failure = StartDispatcher(); failure.Failed()) return release(failure);
  return kNoDeviceFailure;
}

void TApdBaseDispatcher::BeginShutdown() {
  shuttingDown_ = true;
  {
    std::lock_guard<std::mutex> guard(inputWaitLock_);
    ++inputWakeGeneration_;
  }
  inputArrived_.notify_all();
  NotifyOutputProgress();
}

void TApdBaseDispatcher::DonePort() {
  BeginShutdown();
  if (DeviceOpen()) {
    if (!outputDrained_) FlushOutBuffer();
    FlushInBuffer();
    CloseCom();
  }
  DonePortPrim();
}

// ------------------------------------------------------------- line settings

TDeviceFailure TApdBaseDispatcher::StoreLineSettings(TLineSettings& settings) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (!dtrHandshake_) settings.dtrControl = dtrLevel_ ? dtrEnable : dtrDisable;
  if (!rtsHandshake_) settings.rtsControl = rtsLevel_ ? rtsEnable : rtsDisable;
  const TDeviceFailure result = SetComState(settings);
  lastBaud_ = settings.baud;
  if (!dtrHandshake_) EscapeComFunction(TControlLine::Dtr, dtrLevel_);
  if (!rtsHandshake_) EscapeComFunction(TControlLine::Rts, rtsLevel_);
  return result;
}

template <class Change>
TDeviceFailure TApdBaseDispatcher::ChangeLineSettings(Change&& change) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  TLineSettings settings;
  if (TDeviceFailure failure = GetComState(settings); failure.Failed()) return failure;
  change(settings);
  return StoreLineSettings(settings);
}

TDeviceFailure TApdBaseDispatcher::SetLine(int32_t baud, uint8_t parity, uint16_t dataBits,
                                           uint16_t stopBits) {
  TLineSettings current;
  TLineSettings wanted;
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    if (TDeviceFailure failure = GetComState(current); failure.Failed()) return failure;
    wanted = current;
    if (baud != 0) wanted.baud = static_cast<uint32_t>(baud);
    if (parity != kKeepParity) wanted.parity = parity;
    if (dataBits != kKeepDataBits) wanted.dataBits = static_cast<uint8_t>(dataBits);
    if (stopBits != kKeepStopBits) wanted.stopBits = stopBits >= 2 ? sbTwo : sbOne;
    if (wanted.dataBits == 5) wanted.stopBits = sbOneAndHalf;
    wanted.binary = true;
    wanted.parityCheck = false;
    wanted.dsrSensitivity = false;
    wanted.txContinueOnXoff = true;
    wanted.nullStrip = false;
    if (wanted == current) return kNoDeviceFailure;
  }

  // Let what is queued leave at the old framing, then give the far end about
  // 18 character times before the framing changes under it.
  for (int i = 0; i < timings_.outputDrainPolls && OutBufUsed() != 0; ++i) {
    std::this_thread::sleep_for(timings_.outputDrainPoll);
  }
  uint32_t lastBaud;
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    lastBaud = lastBaud_ == 0 ? kInitialLastBaud : lastBaud_;
  }
  uint32_t bitsPerCharacter = current.dataBits + 2u;
  if (current.parity != pNone) ++bitsPerCharacter;
  if (current.stopBits != sbOne) ++bitsPerCharacter;
  uint32_t tenthsOfMicrosecond =
      (kTenthsOfMicrosecondPerSecond / lastBaud) * bitsPerCharacter * kSettleCharacterTimes;
  if (tenthsOfMicrosecond < kShortSettleLimit) tenthsOfMicrosecond *= 2;
  const uint32_t pauseMs = (tenthsOfMicrosecond + kTenthsOfMicrosecondPerMillisecond - 1) /
                           kTenthsOfMicrosecondPerMillisecond;
  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));

  return ChangeLineSettings([&wanted](TLineSettings& settings) {
    settings.baud = wanted.baud;
    settings.parity = wanted.parity;
    settings.dataBits = wanted.dataBits;
    settings.stopBits = wanted.stopBits;
    settings.binary = wanted.binary;
    settings.parityCheck = wanted.parityCheck;
    settings.dsrSensitivity = wanted.dsrSensitivity;
    settings.txContinueOnXoff = wanted.txContinueOnXoff;
    settings.nullStrip = wanted.nullStrip;
  });
}

TDeviceFailure TApdBaseDispatcher::SetHWFlowOptions(THWFlowOptions options, uint16_t bufferFull,
                                                    uint16_t bufferResume) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (bufferFull < bufferResume || inSize_ < bufferFull) {
    return {TDeviceFailureKind::BadArgument, 0};
  }
  return ChangeLineSettings([&](TLineSettings& settings) {
    settings.outxCtsFlow = (options & hwfRequireCTS) != 0;
    settings.outxDsrFlow = (options & hwfRequireDSR) != 0;
    dtrHandshake_ = (options & hwfUseDTR) != 0;
    rtsHandshake_ = (options & hwfUseRTS) != 0;
    settings.dtrControl = dtrHandshake_ ? dtrHandshake : (dtrLevel_ ? dtrEnable : dtrDisable);
    settings.rtsControl = rtsHandshake_ ? rtsHandshake : (rtsLevel_ ? rtsEnable : rtsDisable);
    settings.xoffLim = static_cast<uint32_t>(inSize_ - bufferFull);
    settings.xonLim = bufferResume;
  });
}

TDeviceFailure TApdBaseDispatcher::SetSWFlowOptions(TSWFlowOptions options) {
  return ChangeLineSettings([options](TLineSettings& settings) {
    settings.outX = options == swfTransmit || options == swfBoth;
    settings.inX = options == swfReceive || options == swfBoth;
  });
}

TDeviceFailure TApdBaseDispatcher::SetFlowChars(char xOn, char xOff) {
  return ChangeLineSettings([xOn, xOff](TLineSettings& settings) {
    settings.xonChar = xOn;
    settings.xoffChar = xOff;
  });
}

TDeviceFailure TApdBaseDispatcher::SetDTR(bool high) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (dtrHandshake_) return kNoDeviceFailure;
  EscapeComFunction(TControlLine::Dtr, high);
  dtrLevel_ = high;
  return kNoDeviceFailure;
}

TDeviceFailure TApdBaseDispatcher::SetRTS(bool high) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (rtsHandshake_) return kNoDeviceFailure;
  EscapeComFunction(TControlLine::Rts, high);
  rtsLevel_ = high;
  return kNoDeviceFailure;
}

// ----------------------------------------------------------- ring operations

bool TApdBaseDispatcher::CharReady() {
  std::lock_guard<std::recursive_mutex> guard(inputLock_);
  return !inRing_.Empty();
}

int TApdBaseDispatcher::PeekBlock(void* block, uint16_t length) {
  std::lock_guard<std::recursive_mutex> guard(inputLock_);
  if (!inRing_.Peek(static_cast<uint8_t*>(block), length)) return ecBufferIsEmpty;
  return length;
}

int TApdBaseDispatcher::GetBlock(void* block, uint16_t length) {
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    if (!inRing_.Take(static_cast<uint8_t*>(block), length)) return ecBufferIsEmpty;
  }
  const bool madeRoom = length != 0;
  // Bytes that wait in the queue for room may move in now, while the caller
  // works on what it took.
  if (madeRoom && !queue_.Empty()) queue_.Signal();
  return length;
}

int TApdBaseDispatcher::PutBlock(const void* block, uint16_t length) {
  if (length == 0) return 0;
  // Bytes queued for a line that has gone would never leave; the caller
  // learns it now rather than from a wait for an answer that cannot come.
  if (const int failure = lineFailure_; failure != 0) return failure;
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  if (length > outRing_.Free()) return ecOutputBufferTooSmall;
  outputDrained_ = false;
  WriteCom(static_cast<const uint8_t*>(block), length);
  return 0;
}

int TApdBaseDispatcher::FlushInBuffer() {
  int purged;
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    purged = FlushCom(kFlushInput);
    inRing_.Clear();
  }
  return purged < 0 ? 0 : purged;
}

int TApdBaseDispatcher::FlushOutBuffer() {
  const int purged = FlushCom(kFlushOutput);
  NotifyOutputProgress();
  return purged < 0 ? 0 : purged;
}

std::size_t TApdBaseDispatcher::InBuffUsed() {
  std::lock_guard<std::recursive_mutex> guard(inputLock_);
  return inRing_.Used();
}

std::size_t TApdBaseDispatcher::OutBuffFree() {
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  return outRing_.Free();
}

// --------------------------------------------------------------------- waits

void TApdBaseDispatcher::NotifyInputArrived() {
  { std::lock_guard<std::mutex> guard(inputWaitLock_); }
  inputArrived_.notify_all();
}

void TApdBaseDispatcher::WakeInputWaiters() {
  {
    std::lock_guard<std::mutex> guard(inputWaitLock_);
    ++inputWakeGeneration_;
  }
  inputArrived_.notify_all();
}

bool TApdBaseDispatcher::WaitForInput(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock<std::mutex> lock(inputWaitLock_);
  const uint64_t generation = inputWakeGeneration_;
  for (;;) {
    if (CharReady()) return true;
    if (shuttingDown_ || lineFailure_ != 0 || generation != inputWakeGeneration_) return false;
    if (inputArrived_.wait_until(lock, deadline) == std::cv_status::timeout) return CharReady();
  }
}

bool TApdBaseDispatcher::WaitForLineGone(std::chrono::microseconds limit) {
  std::unique_lock<std::mutex> lock(inputWaitLock_);
  // NoteLineFailure and BeginShutdown both notify under this lock.
  return inputArrived_.wait_for(lock, limit, [this] { return shuttingDown_ || lineFailure_ != 0; });
}

void TApdBaseDispatcher::NotifyOutputProgress() {
  { std::lock_guard<std::mutex> guard(outputWaitLock_); }
  outputProgress_.notify_all();
}

bool TApdBaseDispatcher::WaitForOutputDrained(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto ringDrained = [this] {
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    return outRing_.Used() == 0 && !writeInFlight_;
  };
  {
    std::unique_lock<std::mutex> lock(outputWaitLock_);
    while (!ringDrained()) {
      if (shuttingDown_ || lineFailure_ != 0) return false;
      if (outputProgress_.wait_until(lock, deadline) == std::cv_status::timeout) {
        if (!ringDrained()) return false;
        break;
      }
    }
  }
  // The bytes have left the engine; give the device the rest of the time to
  // send what it holds.
  while (DeviceOutputQueued() != 0) {
    if (shuttingDown_ || lineFailure_ != 0 || std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kDeviceDrainPoll);
  }
  if (lineFailure_ != 0) return false;
  DeviceWaitSent();
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  if (!ringDrained()) return false;
  outputDrained_ = true;
  return true;
}

void TApdBaseDispatcher::NoteLineFailure(int code) {
  int none = 0;
  lineFailure_.compare_exchange_strong(none, code);
  {
    std::lock_guard<std::mutex> guard(inputWaitLock_);
    ++inputWakeGeneration_;
  }
  inputArrived_.notify_all();
  NotifyOutputProgress();
}
