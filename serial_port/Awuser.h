// TApdBaseDispatcher: the engine behind a serial port component. It holds the
// receive ring (8192 bytes), the transmit ring (OutSize bytes), the line
// settings and the three re-entrant locks, and carries out every operation on
// them. The device calls and the four engine threads come from a subclass
// (TApdWin32Dispatcher in Lnswin32.h).
//
// Threads and locks:
// - The owner (the component, on its owner's thread) runs InitPort, DonePort,
//   SetLine and the line-setting calls.
// - One other thread at a time (an upload task) runs the ring operations
//   (CharReady ... FlushOutBuffer) and the waits; the component makes sure that
//   DonePort never runs while such a call is in progress.
// - The engine threads fill the receive ring under inputLock_ and empty the
//   transmit ring under outputLock_. generalLock_ guards the line settings and
//   the closing flag. No call holds two of these locks at once; the queue's own
//   lock is taken inside inputLock_.
// Ring operations return a count, 0, or a negative error code (Adexcept.h);
// they never wait for the line. The device operations, the open and the line
// settings report a TDeviceFailure (DeviceFailure.h), which the component
// turns into its exception.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Adport.h"
#include "ByteRing.h"
#include "DeviceFailure.h"
#include "EngineHooks.h"
#include "LineSettings.h"
#include "Lnsqueue.h"
#include "SerialDevice.h"

// Bits of the options word of InitPort.
inline constexpr unsigned kOptionDtrHigh = 0x1;
inline constexpr unsigned kOptionRtsHigh = 0x2;
inline constexpr unsigned kOptionDtrHandshake = 0x10;
inline constexpr unsigned kOptionRtsHandshake = 0x20;

// FlushCom's sides.
inline constexpr int kFlushOutput = 0;
inline constexpr int kFlushInput = 1;

// Line events as the status thread reports them.
inline constexpr uint32_t kEventCharReceived = 0x1;
inline constexpr uint32_t kEventCts = 0x8;
inline constexpr uint32_t kEventDsr = 0x10;
inline constexpr uint32_t kEventRlsd = 0x20;
inline constexpr uint32_t kEventBreak = 0x40;
inline constexpr uint32_t kEventLineError = 0x80;
inline constexpr uint32_t kEventRing = 0x100;
inline constexpr uint32_t kEventRingEdge = 0x2000;
inline constexpr uint32_t kDefaultEventMask = 0x1F9;
// Events that go through the queue as status entries.
inline constexpr uint32_t kQueuedEvents = 0x21F8;

// The engine's long waits. An engine takes the process-wide values when it is
// created; tests shorten them with SetEngineTimings.
struct TEngineTimings {
  // SetLine lets queued output leave first: one look per poll, at most so many.
  std::chrono::milliseconds outputDrainPoll{2};
  int outputDrainPolls = 5000;
  // How long FlushCom waits for the write thread to drop what it had taken.
  std::chrono::milliseconds flushAcknowledgeWait{5000};
  // How long the start waits for each new thread to say it runs.
  std::chrono::milliseconds threadStartWait{3000};
};
void SetEngineTimings(const TEngineTimings& timings);
TEngineTimings EngineTimings();

class TApdBaseDispatcher {
 public:
  static constexpr std::size_t kReceiveRingSize = 8192;

  TApdBaseDispatcher();
  virtual ~TApdBaseDispatcher();
  TApdBaseDispatcher(const TApdBaseDispatcher&) = delete;
  TApdBaseDispatcher& operator=(const TApdBaseDispatcher&) = delete;

  // --- device operations of the platform engine ---
  // Raises or lowers DTR or RTS.
  virtual void EscapeComFunction(TControlLine line, bool high) = 0;
  // kFlushOutput or kFlushInput; the purge's success flag (1), or 0.
  virtual int FlushCom(int which) = 0;
  virtual TDeviceFailure GetComState(TLineSettings& settings) = 0;
  virtual TDeviceFailure SetComState(const TLineSettings& settings) = 0;
  // Asks the device for queues of these sizes.
  virtual TDeviceFailure SetupCom(uint16_t inSize, uint16_t outSize) = 0;
  // Opens the device (see TSerialDevice::Open).
  virtual TDeviceFailure OpenCom(const std::string& name, uint16_t inSize, uint16_t outSize) = 0;
  // Stops the threads, waits for them and closes the device; 0 or -1.
  virtual int CloseCom() = 0;
  // OutOfMemory when a thread could not be created.
  virtual TDeviceFailure StartDispatcher() = 0;
  virtual void StopDispatcher() = 0;
  virtual bool DeviceOpen() const = 0;

  // Copies up to `length` received bytes out of the queue (stops at a status
  // entry); the count. Caller holds inputLock_.
  virtual int ReadCom(uint8_t* buffer, std::size_t length);
  // Copies `length` bytes into the transmit ring and wakes the write thread.
  // Caller holds outputLock_ and checked the room; returns `length`.
  virtual int WriteCom(const uint8_t* buffer, std::size_t length);
  virtual int OutBufUsed();
  // Unread bytes of the queue's first entry when that is a data entry, else 0.
  virtual int InQueueUsed();
  // Stops the threads if they still run, then frees both rings.
  virtual void DonePortPrim();

  // --- open and close (the owner's thread) ---
  // Opens and configures the device and starts the threads; on a failure
  // everything is released again and the failure returned.
  TDeviceFailure InitPort(const std::string& name, int32_t baud, uint8_t parity, uint16_t dataBits,
                          uint16_t stopBits, uint16_t inSize, uint16_t outSize, unsigned options);
  // Discards queued output and held input, stops the threads, closes the
  // device and frees the rings. Safe to call more than once.
  void DonePort();
  // Tells the waits that the port is closing; they return at once from now on.
  void BeginShutdown();

  // --- line settings (the owner's thread) ---
  // 0 for Baud, 5 for Parity, 9 for DataBits and 3 for StopBits keep the
  // current value.
  TDeviceFailure SetLine(int32_t baud, uint8_t parity, uint16_t dataBits, uint16_t stopBits);
  // BadArgument when the thresholds do not fit the receive size.
  TDeviceFailure SetHWFlowOptions(THWFlowOptions options, uint16_t bufferFull = 0,
                                  uint16_t bufferResume = 0);
  TDeviceFailure SetSWFlowOptions(TSWFlowOptions options);
  TDeviceFailure SetFlowChars(char xOn, char xOff);
  // A line under handshaking control is left alone. Never fail.
  TDeviceFailure SetDTR(bool high);
  TDeviceFailure SetRTS(bool high);

  // --- ring operations (the task's thread) ---
  bool CharReady();
  int PeekBlock(void* block, uint16_t length);
  int GetBlock(void* block, uint16_t length);
  int PutBlock(const void* block, uint16_t length);
  int FlushInBuffer();
  int FlushOutBuffer();
  std::size_t InBuffUsed();
  std::size_t OutBuffFree();

  // --- waits for hosts that must not poll (any thread) ---
  // Both return at once once the line has failed (LineFailure).
  bool WaitForInput(std::chrono::milliseconds limit);
  void WakeInputWaiters();
  // Blocks for `limit` unless the line fails or a close begins first; true
  // when one of them ended it. Arrivals and wakes do not end it.
  bool WaitForLineGone(std::chrono::microseconds limit);
  // True once the transmit ring is empty and the device has sent what it
  // held. Until the next PutBlock, a close then keeps those bytes: it does not
  // purge the device's output, which on a pseudo-terminal would drop what the
  // far end has not read yet.
  bool WaitForOutputDrained(std::chrono::milliseconds limit);

  // 0 while the line works; else the failure code of the first engine thread
  // that ended on a failure (the device went away). Any thread.
  int LineFailure() const { return lineFailure_; }
  // Called by an engine thread that ends on `code`: records the first code
  // and ends every wait in progress.
  void NoteLineFailure(int code);

  // --- for the engine threads ---
  // One step of the dispatch thread: moves queued bytes into the receive ring
  // as far as it has room. Returns the number of bytes moved.
  std::size_t MoveReceivedData();
  // Hands the read thread's fresh entries on. When nothing waits in the queue
  // ahead of them, as much as fits goes straight into the receive ring (the
  // order cannot change, and a wake-up of the dispatch thread is saved); the
  // rest is queued. Entries read before a flush (`generation` is out of date)
  // are dropped. Of the first `count` entries, those it queues are taken
  // over (left null); those read out into the ring stay with the caller.
  void DeliverReceived(std::unique_ptr<TIOBuffer>* entries, std::size_t count, uint64_t generation);
  TIOQueue& Queue() { return queue_; }
  // The write thread's step: every byte of the transmit ring at once (the
  // ring is empty afterwards), marked as in flight until OutputBlockDone.
  // Empty when the ring is.
  std::vector<uint8_t> TakeOutputBlock();
  // The block TakeOutputBlock gave is written or dropped.
  void OutputBlockDone();

 protected:
  // Wakes the write thread after WriteCom (the platform's output event).
  virtual void SignalOutput() = 0;
  // The device still holds written bytes (for WaitForOutputDrained).
  virtual std::size_t DeviceOutputQueued() = 0;
  // Blocks until the device has put the last byte it holds on the line (the
  // shift register included). Called only once DeviceOutputQueued is 0.
  virtual void DeviceWaitSent() {}

  // Writes a changed line-settings record back, restoring DTR and RTS.
  TDeviceFailure StoreLineSettings(TLineSettings& settings);
  // Reads the line settings, lets `change` change them and stores them,
  // all under generalLock_.
  template <class Change>
  TDeviceFailure ChangeLineSettings(Change&& change);
  // Allocates both rings; false when memory is short.
  bool AllocateRings(std::size_t outSize);
  void ReleaseRings();
  void NotifyInputArrived();
  void NotifyOutputProgress();

  const TEngineTimings timings_ = EngineTimings();
  std::recursive_mutex inputLock_;
  std::recursive_mutex outputLock_;
  std::recursive_mutex generalLock_;
  TByteRing inRing_;   // inputLock_
  TByteRing outRing_;  // outputLock_
  // The write thread holds a block taken from the ring that is not written yet.
  std::atomic<bool> writeInFlight_{false};
  TIOQueue queue_;

  // generalLock_ guards these.
  bool dtrLevel_ = false;
  bool rtsLevel_ = false;
  bool dtrHandshake_ = false;
  bool rtsHandshake_ = false;
  uint32_t lastBaud_ = 115200;
  uint16_t inSize_ = 0;
  bool closing_ = false;

 private:
  std::mutex inputWaitLock_;
  std::condition_variable inputArrived_;
  uint64_t inputWakeGeneration_ = 0;  // inputWaitLock_
  std::mutex outputWaitLock_;
  std::condition_variable outputProgress_;
  std::atomic<bool> shuttingDown_{false};
  std::atomic<int> lineFailure_{0};
  // Set by a successful WaitForOutputDrained, cleared by PutBlock (both under
  // outputLock_): the close must not purge the output then.
  std::atomic<bool> outputDrained_{false};
};
