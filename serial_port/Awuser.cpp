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
  if (Full) return Size();
  if (Size() == 0) return 0;
  return (WritePos + Size() - ReadPos) % Size();
}

void TByteRing::CopyOut(uint8_t* to, std::size_t length) const {
  if (length == 0) return;
  const std::size_t first = std::min(length, Size() - ReadPos);
  std::memcpy(to, Data.data() + ReadPos, first);
  if (length > first) std::memcpy(to + first, Data.data(), length - first);
}

TApdBaseDispatcher::TApdBaseDispatcher() = default;
TApdBaseDispatcher::~TApdBaseDispatcher() = default;

// ---------------------------------------------------------------- queue side

int TApdBaseDispatcher::ReadCom(uint8_t* buffer, std::size_t length) {
  // A line event at the front holds back the data behind it until the
  // dispatch thread has taken it off the queue.
  return static_cast<int>(Queue_.ReadData(buffer, length));
}

int TApdBaseDispatcher::InQueueUsed() { return static_cast<int>(Queue_.FrontDataUnread()); }

std::size_t TApdBaseDispatcher::MoveReceivedData() {
  std::size_t moved = 0;
  {
    std::lock_guard<std::recursive_mutex> guard(InputLock);
    if (InRing.Size() == 0 || InRing.Full) return 0;
    const std::size_t available = static_cast<std::size_t>(InQueueUsed());
    if (available == 0) return 0;
    const std::size_t freeRoom = InRing.Free();
    const std::size_t first =
        InRing.ReadPos > InRing.WritePos ? InRing.ReadPos - InRing.WritePos
                                         : InRing.Size() - InRing.WritePos;
    const std::size_t want = std::min(freeRoom, available);
    std::size_t second = first < want ? want - first : 0;

    auto moveInto = [this, &moved](std::size_t length) {
      const int count = ReadCom(InRing.Data.data() + InRing.WritePos, length);
      InRing.WritePos += static_cast<std::size_t>(count);
      if (InRing.WritePos == InRing.Size()) InRing.WritePos = 0;
      if (count != 0) InRing.Full = InRing.WritePos == InRing.ReadPos;
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
  const std::size_t take = std::min(length, InRing.Free());
  if (take == 0) return 0;
  const std::size_t first = std::min(take, InRing.Size() - InRing.WritePos);
  std::memcpy(InRing.Data.data() + InRing.WritePos, bytes, first);
  std::memcpy(InRing.Data.data(), bytes + first, take - first);
  InRing.WritePos = (InRing.WritePos + take) % InRing.Size();
  InRing.Full = InRing.WritePos == InRing.ReadPos;
  return take;
}

void TApdBaseDispatcher::DeliverReceived(std::unique_ptr<TIOBuffer>* entries, std::size_t count,
                                         uint64_t generation) {
  std::size_t moved = 0;
  std::size_t first = 0;
  {
    std::lock_guard<std::recursive_mutex> guard(InputLock);
    // FlushInBuffer clears the queue under InputLock, so the generation read
    // here cannot change before these bytes are placed.
    if (Queue_.Generation() != generation) return;
    if (InRing.Size() != 0 && Queue_.Empty()) {
      for (; first < count; ++first) {
        TDataBuffer* data = entries[first]->AsData();
        const std::size_t put = PutIntoReceiveRing(data->Data + data->BytesRead, data->Unread());
        data->BytesRead += put;
        moved += put;
        if (data->Unread() != 0) break;
      }
    }
    if (first < count) Queue_.PushAllIfGeneration(entries + first, count - first, generation);
  }
  if (moved != 0) NotifyInputArrived();
}

// ------------------------------------------------------------- transmit side

int TApdBaseDispatcher::WriteCom(const uint8_t* buffer, std::size_t length) {
  const std::size_t size = OutRing.Size();
  const std::size_t first = std::min(length, size - OutRing.WritePos);
  std::memcpy(OutRing.Data.data() + OutRing.WritePos, buffer, first);
  if (length > first) {
    std::memcpy(OutRing.Data.data(), buffer + first, length - first);
    OutRing.WritePos = length - first;
  } else {
    OutRing.WritePos += length;
    if (OutRing.WritePos == size) OutRing.WritePos = 0;
  }
  SignalOutput();
  return static_cast<int>(length);
}

int TApdBaseDispatcher::OutBufUsed() {
  std::lock_guard<std::recursive_mutex> guard(OutputLock);
  return static_cast<int>(OutRing.Used());
}

// ------------------------------------------------------------ open and close

int TApdBaseDispatcher::AllocateRings(std::size_t outSize) {
  try {
    std::vector<uint8_t> in(kReceiveRingSize, 0);
    std::vector<uint8_t> out(outSize, 0);
    {
      std::lock_guard<std::recursive_mutex> guard(InputLock);
      InRing = TByteRing{std::move(in)};
    }
    std::lock_guard<std::recursive_mutex> guard(OutputLock);
    OutRing = TByteRing{std::move(out)};
  } catch (const std::bad_alloc&) {
    return ecOutOfMemory;
  }
  return 0;
}

void TApdBaseDispatcher::ReleaseRings() {
  std::lock_guard<std::recursive_mutex> general(GeneralLock);
  {
    std::lock_guard<std::recursive_mutex> guard(InputLock);
    InRing = TByteRing{};
  }
  std::lock_guard<std::recursive_mutex> guard(OutputLock);
  OutRing = TByteRing{};
}

void TApdBaseDispatcher::DonePortPrim() {
  StopDispatcher();
  ReleaseRings();
}

int TApdBaseDispatcher::InitPort(const std::string& name, int32_t baud, uint8_t parity,
                                 uint16_t dataBits, uint16_t stopBits, uint16_t inSize,
                                 uint16_t outSize, unsigned options) {
  ShuttingDown = false;
  LineFailure_ = 0;
  OutputDrained = false;
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
    std::lock_guard<std::recursive_mutex> guard(GeneralLock);
    InSize = inSize;
    TLineSettings settings;
    GetComState(settings);
    DtrHandshake = (options & kOptionDtrHandshake) != 0;
    if (!DtrHandshake) {
      DtrLevel = (options & kOptionDtrHigh) != 0;
      EscapeComFunction(DtrLevel ? kSetDtr : kClrDtr);
    }
    RtsHandshake = (options & kOptionRtsHandshake) != 0;
    if (!RtsHandshake) {
      RtsLevel = (options & kOptionRtsHigh) != 0;
      EscapeComFunction(RtsLevel ? kSetRts : kClrRts);
    }
    LastBaud = kInitialLastBaud;
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
  ShuttingDown = true;
  {
    std::lock_guard<std::mutex> guard(InputWaitLock);
    ++InputWakeGeneration;
  }
  InputArrived.notify_all();
  NotifyOutputProgress();
}

void TApdBaseDispatcher::DonePort() {
  BeginShutdown();
  if (DeviceOpen()) {
    if (!OutputDrained) FlushOutBuffer();
    FlushInBuffer();
    CloseCom();
  }
  DonePortPrim();
}

// ------------------------------------------------------------- line settings

int TApdBaseDispatcher::StoreLineSettings(TLineSettings& settings) {
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  if (!DtrHandshake) settings.DtrControl = DtrLevel ? dtrEnable : dtrDisable;
  if (!RtsHandshake) settings.RtsControl = RtsLevel ? rtsEnable : rtsDisable;
  const int result = SetComState(settings);
  LastBaud = settings.Baud;
  if (!DtrHandshake) EscapeComFunction(DtrLevel ? kSetDtr : kClrDtr);
  if (!RtsHandshake) EscapeComFunction(RtsLevel ? kSetRts : kClrRts);
  return result;
}

int TApdBaseDispatcher::SetLine(int32_t baud, uint8_t parity, uint16_t dataBits,
                                uint16_t stopBits) {
  TLineSettings current;
  TLineSettings wanted;
  {
    std::lock_guard<std::recursive_mutex> guard(GeneralLock);
    if (GetComState(current) != 0) return -1;
    wanted = current;
    if (baud != 0) wanted.Baud = static_cast<uint32_t>(baud);
    if (parity != kKeepParity) wanted.Parity = parity;
    if (dataBits != kKeepDataBits) wanted.DataBits = static_cast<uint8_t>(dataBits);
    if (stopBits != kKeepStopBits) wanted.StopBits = stopBits >= 2 ? sbTwo : sbOne;
    if (wanted.DataBits == 5) wanted.StopBits = sbOneAndHalf;
    wanted.Binary = true;
    wanted.ParityCheck = false;
    wanted.DsrSensitivity = false;
    wanted.TXContinueOnXoff = true;
    wanted.NullStrip = false;
    if (wanted == current) return 0;
  }

  // Let what is queued leave at the old framing, then give the far end about
  // 18 character times before the framing changes under it.
  for (int i = 0; i < Timings.OutputDrainPolls && OutBufUsed() != 0; ++i) {
    std::this_thread::sleep_for(Timings.OutputDrainPoll);
  }
  uint32_t lastBaud;
  {
    std::lock_guard<std::recursive_mutex> guard(GeneralLock);
    lastBaud = LastBaud == 0 ? kInitialLastBaud : LastBaud;
  }
  uint32_t bitsPerCharacter = current.DataBits + 2u;
  if (current.Parity != pNone) ++bitsPerCharacter;
  if (current.StopBits != sbOne) ++bitsPerCharacter;
  uint32_t tenthsOfMicrosecond =
      (kTenthsOfMicrosecondPerSecond / lastBaud) * bitsPerCharacter * kSettleCharacterTimes;
  if (tenthsOfMicrosecond < kShortSettleLimit) tenthsOfMicrosecond *= 2;
  const uint32_t pauseMs = (tenthsOfMicrosecond + kTenthsOfMicrosecondPerMillisecond - 1) /
                           kTenthsOfMicrosecondPerMillisecond;
  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));

  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.Baud = wanted.Baud;
  settings.Parity = wanted.Parity;
  settings.DataBits = wanted.DataBits;
  settings.StopBits = wanted.StopBits;
  settings.Binary = wanted.Binary;
  settings.ParityCheck = wanted.ParityCheck;
  settings.DsrSensitivity = wanted.DsrSensitivity;
  settings.TXContinueOnXoff = wanted.TXContinueOnXoff;
  settings.NullStrip = wanted.NullStrip;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetHWFlowOptions(THWFlowOptions options, uint16_t bufferFull,
                                         uint16_t bufferResume) {
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  if (bufferFull < bufferResume || InSize < bufferFull) return ecBadArgument;
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.OutxCtsFlow = (options & hwfRequireCTS) != 0;
  settings.OutxDsrFlow = (options & hwfRequireDSR) != 0;
  DtrHandshake = (options & hwfUseDTR) != 0;
  RtsHandshake = (options & hwfUseRTS) != 0;
  settings.DtrControl = DtrHandshake ? dtrHandshake : (DtrLevel ? dtrEnable : dtrDisable);
  settings.RtsControl = RtsHandshake ? rtsHandshake : (RtsLevel ? rtsEnable : rtsDisable);
  settings.XoffLim = static_cast<uint32_t>(InSize - bufferFull);
  settings.XonLim = bufferResume;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetSWFlowOptions(TSWFlowOptions options) {
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.OutX = options == swfTransmit || options == swfBoth;
  settings.InX = options == swfReceive || options == swfBoth;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetFlowChars(char xOn, char xOff) {
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  TLineSettings settings;
  if (GetComState(settings) != 0) return -1;
  settings.XonChar = xOn;
  settings.XoffChar = xOff;
  return StoreLineSettings(settings);
}

int TApdBaseDispatcher::SetDTR(bool high) {
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  if (DtrHandshake) return 0;
  EscapeComFunction(high ? kSetDtr : kClrDtr);
  DtrLevel = high;
  return 0;
}

int TApdBaseDispatcher::SetRTS(bool high) {
  std::lock_guard<std::recursive_mutex> guard(GeneralLock);
  if (RtsHandshake) return 0;
  EscapeComFunction(high ? kSetRts : kClrRts);
  RtsLevel = high;
  return 0;
}

// ----------------------------------------------------------- ring operations

bool TApdBaseDispatcher::CharReady() {
  std::lock_guard<std::recursive_mutex> guard(InputLock);
  return InRing.ReadPos != InRing.WritePos || InRing.Full;
}

int TApdBaseDispatcher::PeekBlock(void* block, uint16_t length) {
  std::lock_guard<std::recursive_mutex> guard(InputLock);
  if (length > InRing.Used()) return ecBufferIsEmpty;
  if (length != 0) InRing.CopyOut(static_cast<uint8_t*>(block), length);
  return length;
}

int TApdBaseDispatcher::GetBlock(void* block, uint16_t length) {
  bool madeRoom = false;
  {
    std::lock_guard<std::recursive_mutex> guard(InputLock);
    if (length > InRing.Used()) return ecBufferIsEmpty;
    if (length != 0) {
      InRing.CopyOut(static_cast<uint8_t*>(block), length);
      InRing.ReadPos = (InRing.ReadPos + length) % InRing.Size();
      madeRoom = true;
      InRing.Full = false;
    }
  }
  // Bytes that wait in the queue for room may move in now, while the caller
  // works on what it took.
  if (madeRoom && !Queue_.Empty()) Queue_.Signal();
  return length;
}

int TApdBaseDispatcher::PutBlock(const void* block, uint16_t length) {
  if (length == 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(OutputLock);
  const std::size_t freeRoom = OutRing.Free();
  if (length > freeRoom) return ecOutputBufferTooSmall;
  OutputDrained = false;
  if (length == freeRoom) OutRing.Full = true;
  WriteCom(static_cast<const uint8_t*>(block), length);
  return 0;
}

int TApdBaseDispatcher::FlushInBuffer() {
  int purged;
  {
    std::lock_guard<std::recursive_mutex> guard(InputLock);
    purged = FlushCom(kFlushInput);
    InRing.ReadPos = InRing.WritePos;
    InRing.Full = false;
  }
  return purged < 0 ? 0 : purged;
}

int TApdBaseDispatcher::FlushOutBuffer() {
  const int purged = FlushCom(kFlushOutput);
  NotifyOutputProgress();
  return purged < 0 ? 0 : purged;
}

std::size_t TApdBaseDispatcher::InBuffUsed() {
  std::lock_guard<std::recursive_mutex> guard(InputLock);
  return InRing.Used();
}

std::size_t TApdBaseDispatcher::OutBuffFree() {
  std::lock_guard<std::recursive_mutex> guard(OutputLock);
  return OutRing.Free();
}

// --------------------------------------------------------------------- waits

void TApdBaseDispatcher::NotifyInputArrived() {
  { std::lock_guard<std::mutex> guard(InputWaitLock); }
  InputArrived.notify_all();
}

void TApdBaseDispatcher::WakeInputWaiters() {
  {
    std::lock_guard<std::mutex> guard(InputWaitLock);
    ++InputWakeGeneration;
  }
  InputArrived.notify_all();
}

bool TApdBaseDispatcher::WaitForInput(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock<std::mutex> lock(InputWaitLock);
  const uint64_t generation = InputWakeGeneration;
  for (;;) {
    if (CharReady()) return true;
    if (ShuttingDown || LineFailure_ != 0 || generation != InputWakeGeneration) return false;
    if (InputArrived.wait_until(lock, deadline) == std::cv_status::timeout) return CharReady();
  }
}

void TApdBaseDispatcher::NotifyOutputProgress() {
  { std::lock_guard<std::mutex> guard(OutputWaitLock); }
  OutputProgress.notify_all();
}

bool TApdBaseDispatcher::WaitForOutputDrained(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto ringDrained = [this] {
    std::lock_guard<std::recursive_mutex> guard(OutputLock);
    return OutRing.Used() == 0 && !WriteInFlight;
  };
  {
    std::unique_lock<std::mutex> lock(OutputWaitLock);
    while (!ringDrained()) {
      if (ShuttingDown || LineFailure_ != 0) return false;
      if (OutputProgress.wait_until(lock, deadline) == std::cv_status::timeout) {
        if (!ringDrained()) return false;
        break;
      }
    }
  }
  // The bytes have left the engine; give the device the rest of the time to
  // send what it holds.
  while (DeviceOutputQueued() != 0) {
    if (ShuttingDown || LineFailure_ != 0 || std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kDeviceDrainPoll);
  }
  if (LineFailure_ != 0) return false;
  DeviceWaitSent();
  std::lock_guard<std::recursive_mutex> guard(OutputLock);
  if (!ringDrained()) return false;
  OutputDrained = true;
  return true;
}

void TApdBaseDispatcher::NoteLineFailure(int code) {
  int none = 0;
  LineFailure_.compare_exchange_strong(none, code);
  {
    std::lock_guard<std::mutex> guard(InputWaitLock);
    ++InputWakeGeneration;
  }
  InputArrived.notify_all();
  NotifyOutputProgress();
}
