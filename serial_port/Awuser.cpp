#include "Awuser.h"

#include <algorithm>
#include <cstring>
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

std::size_t TByteRing::Used() const {
  if (full) return Size();
  if (Size() == 0) return 0;
  return (writePos + Size() - readPos) % Size();
}

void TByteRing::CopyOut(uint8_t* to, std::size_t length) const {
  if (length == 0) return;
  const std::size_t first = std::min(length, Size() - readPos);
  std::memcpy(to, data.data() + readPos, first);
  if (length > first) std::memcpy(to + first, data.data(), length - first);
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
    if (inRing_.Size() == 0 || inRing_.full) return 0;
    const std::size_t available = static_cast<std::size_t>(InQueueUsed());
    if (available == 0) return 0;
    const std::size_t freeRoom = inRing_.Free();
    const std::size_t first = inRing_.readPos > inRing_.writePos
                                  ? inRing_.readPos - inRing_.writePos
                                  : inRing_.Size() - inRing_.writePos;
    const std::size_t want = std::min(freeRoom, available);
    std::size_t second = first < want ? want - first : 0;

    auto moveInto = [this, &moved](std::size_t length) {
      const int count = ReadCom(inRing_.data.data() + inRing_.writePos, length);
      inRing_.writePos += static_cast<std::size_t>(count);
      if (inRing_.writePos == inRing_.Size()) inRing_.writePos = 0;
      if (count != 0) inRing_.full = inRing_.writePos == inRing_.readPos;
      moved += static_cast<std::size_t>(count);
      return static_cast<std::size_t>(count);
    };
    if (moveInto(std::min(first, want)) < std::min(first, want)) second = 0;
    if (second != 0) moveInto(second);
  }
  if (moved != 0) NotifyInputArrived();
  return moved;
}

std::size_t TApdBaseDispatcher::PutIntoReceiveRing(const uint8_t* bytes, std::size_t length) {
  const std::size_t take = std::min(length, inRing_.Free());
  if (take == 0) return 0;
  const std::size_t first = std::min(take, inRing_.Size() - inRing_.writePos);
  std::memcpy(inRing_.data.data() + inRing_.writePos, bytes, first);
  std::memcpy(inRing_.data.data(), bytes + first, take - first);
  inRing_.writePos = (inRing_.writePos + take) % inRing_.Size();
  inRing_.full = inRing_.writePos == inRing_.readPos;
  return take;
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
        const std::size_t put = PutIntoReceiveRing(data->data + data->bytesRead, data->Unread());
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
  const std::size_t size = outRing_.Size();
  const std::size_t first = std::min(length, size - outRing_.writePos);
  std::memcpy(outRing_.data.data() + outRing_.writePos, buffer, first);
  if (length > first) {
    std::memcpy(outRing_.data.data(), buffer + first, length - first);
    outRing_.writePos = length - first;
  } else {
    outRing_.writePos += length;
    if (outRing_.writePos == size) outRing_.writePos = 0;
  }
  SignalOutput();
  return static_cast<int>(length);
}

int TApdBaseDispatcher::OutBufUsed() {
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  return static_cast<int>(outRing_.Used());
}

// ------------------------------------------------------------ open and close

int TApdBaseDispatcher::AllocateRings(std::size_t outSize) {
  try {
    std::vector<uint8_t> in(kReceiveRingSize, 0);
    std::vector<uint8_t> out(outSize, 0);
    {
      std::lock_guard<std::recursive_mutex> guard(inputLock_);
      inRing_ = TByteRing{std::move(in)};
    }
    std::lock_guard<std::recursive_mutex> guard(outputLock_);
    outRing_ = TByteRing{std::move(out)};
  } catch (const std::bad_alloc&) {
    return ecOutOfMemory;
  }
  return 0;
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

int TApdBaseDispatcher::InitPort(const std::string& name, int32_t baud, uint8_t parity,
                                 uint16_t dataBits, uint16_t stopBits, uint16_t inSize,
                                 uint16_t outSize, unsigned options) {
  shuttingDown_ = false;
  lineFailure_ = 0;
  outputDrained_ = false;
  int result = OpenCom(name, inSize, outSize);
  if (result < 0) {
    DonePort();
    return result;
  }
  if (!SetupCom(inSize, outSize)) {
    DonePort();
    return ecOutOfMemory;
  }
  result = AllocateRings(outSize);
  if (result < 0) {
    DonePort();
    return result;
  }
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    inSize_ = inSize;
    TLineSettings settings;
    GetComState(settings);
    dtrHandshake_ = (options & kOptionDtrHandshake) != 0;
    if (!dtrHandshake_) {
      dtrLevel_ = (options & kOptionDtrHigh) != 0;
      EscapeComFunction(dtrLevel_ ? kSetDtr : kClrDtr);
    }
    rtsHandshake_ = (options & kOptionRtsHandshake) != 0;
    if (!rtsHandshake_) {
      rtsLevel_ = (options & kOptionRtsHigh) != 0;
      EscapeComFunction(rtsLevel_ ? kSetRts : kClrRts);
    }
    lastBaud_ = kInitialLastBaud;
  }
  result = SetLine(baud, parity, dataBits, stopBits);
  if (result != 0) {
    DonePort();
    return result;
  }
  result = StartDispatcher();
  if (result != 0) {
    DonePort();
    return result;
  }
  return 0;
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

int TApdBaseDispatcher::StoreLineSettings(TLineSettings& settings) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (!dtrHandshake_) settings.dtrControl = dtrLevel_ ? dtrEnable : dtrDisable;
  if (!rtsHandshake_) settings.rtsControl = rtsLevel_ ? rtsEnable : rtsDisable;
  const int result = SetComState(settings);
  lastBaud_ = settings.baud;
  if (!dtrHandshake_) EscapeComFunction(dtrLevel_ ? kSetDtr : kClrDtr);
  if (!rtsHandshake_) EscapeComFunction(rtsLevel_ ? kSetRts : kClrRts);
  return result;
}

int TApdBaseDispatcher::SetLine(int32_t baud, uint8_t parity, uint16_t dataBits,
                                uint16_t stopBits) {
  TLineSettings current;
  TLineSettings wanted;
  {
    std::lock_guard<std::recursive_mutex> guard(generalLock_);
    if (GetComState(current) != 0) return -1;
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
    if (wanted == current) return 0;
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

  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.baud = wanted.baud;
  settings.parity = wanted.parity;
  settings.dataBits = wanted.dataBits;
  settings.stopBits = wanted.stopBits;
  settings.binary = wanted.binary;
  settings.parityCheck = wanted.parityCheck;
  settings.dsrSensitivity = wanted.dsrSensitivity;
  settings.txContinueOnXoff = wanted.txContinueOnXoff;
  settings.nullStrip = wanted.nullStrip;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetHWFlowOptions(THWFlowOptions options, uint16_t bufferFull,
                                         uint16_t bufferResume) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (bufferFull < bufferResume || inSize_ < bufferFull) return ecBadArgument;
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.outxCtsFlow = (options & hwfRequireCTS) != 0;
  settings.outxDsrFlow = (options & hwfRequireDSR) != 0;
  dtrHandshake_ = (options & hwfUseDTR) != 0;
  rtsHandshake_ = (options & hwfUseRTS) != 0;
  settings.dtrControl = dtrHandshake_ ? dtrHandshake : (dtrLevel_ ? dtrEnable : dtrDisable);
  settings.rtsControl = rtsHandshake_ ? rtsHandshake : (rtsLevel_ ? rtsEnable : rtsDisable);
  settings.xoffLim = static_cast<uint32_t>(inSize_ - bufferFull);
  settings.xonLim = bufferResume;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetSWFlowOptions(TSWFlowOptions options) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.outX = options == swfTransmit || options == swfBoth;
  settings.inX = options == swfReceive || options == swfBoth;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetFlowChars(char xOn, char xOff) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.xonChar = xOn;
  settings.xoffChar = xOff;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetDTR(bool high) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (dtrHandshake_) return 0;
  EscapeComFunction(high ? kSetDtr : kClrDtr);
  dtrLevel_ = high;
  return 0;
}

int TApdBaseDispatcher::SetRTS(bool high) {
  std::lock_guard<std::recursive_mutex> guard(generalLock_);
  if (rtsHandshake_) return 0;
  EscapeComFunction(high ? kSetRts : kClrRts);
  rtsLevel_ = high;
  return 0;
}

// ----------------------------------------------------------- ring operations

bool TApdBaseDispatcher::CharReady() {
  std::lock_guard<std::recursive_mutex> guard(inputLock_);
  return inRing_.readPos != inRing_.writePos || inRing_.full;
}

int TApdBaseDispatcher::PeekBlock(void* block, uint16_t length) {
  std::lock_guard<std::recursive_mutex> guard(inputLock_);
  if (length > inRing_.Used()) return ecBufferIsEmpty;
  if (length != 0) inRing_.CopyOut(static_cast<uint8_t*>(block), length);
  return length;
}

int TApdBaseDispatcher::GetBlock(void* block, uint16_t length) {
  bool madeRoom = false;
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    if (length > inRing_.Used()) return ecBufferIsEmpty;
    if (length != 0) {
      inRing_.CopyOut(static_cast<uint8_t*>(block), length);
      inRing_.readPos = (inRing_.readPos + length) % inRing_.Size();
      madeRoom = true;
      inRing_.full = false;
    }
  }
  // Bytes that wait in the queue for room may move in now, while the caller
  // works on what it took.
  if (madeRoom && !queue_.Empty()) queue_.Signal();
  return length;
}

int TApdBaseDispatcher::PutBlock(const void* block, uint16_t length) {
  if (length == 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(outputLock_);
  const std::size_t freeRoom = outRing_.Free();
  if (length > freeRoom) return ecOutputBufferTooSmall;
  outputDrained_ = false;
  if (length == freeRoom) outRing_.full = true;
  WriteCom(static_cast<const uint8_t*>(block), length);
  return 0;
}

int TApdBaseDispatcher::FlushInBuffer() {
  int purged;
  {
    std::lock_guard<std::recursive_mutex> guard(inputLock_);
    purged = FlushCom(kFlushInput);
    inRing_.readPos = inRing_.writePos;
    inRing_.full = false;
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
