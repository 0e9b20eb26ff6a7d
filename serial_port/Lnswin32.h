// TApdWin32Dispatcher: the engine that drives a real device (the class keeps
// its historical name on every platform) and its four threads:
// - TReadThread moves bytes from the device into the queue in 256-byte entries;
//   it waits for arrivals on the device itself (or the serial event) in 50 ms
//   slices, which saves a thread hop per burst over waking it from the status
//   thread.
// - TStatusThread waits for line events (modem-line changes, the device going
//   away) in 100 ms slices.
// - TDispThread moves queued bytes into the receive ring and takes line events
//   off the queue; it waits up to 50 ms when there is nothing to do.
// - TWriteThread takes the whole transmit ring at once and writes it; it waits
//   for the output or flush event in 100 ms slices.
//
// Threads: StartDispatcher, CloseCom and the destructor belong to the owner's
// thread. Every engine thread ends on the kill flag or after its own failure,
// which it reports once through ReportThreadFailure (EngineHooks.h). CloseCom
// may run while an engine thread has already ended on a failure; it then only
// closes the device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Awuser.h"
#include "EngineEvent.h"
#include "SerialDevice.h"

class TApdWin32Dispatcher;

// One engine thread. Start launches it; it runs Execute, then reports its
// failure code (when not 0), clears its running mark and leaves the count of
// active threads.
class TApdDispatcherThread {
 public:
  explicit TApdDispatcherThread(TApdWin32Dispatcher& owner) : owner_(owner) {}
  virtual ~TApdDispatcherThread();
  TApdDispatcherThread(const TApdDispatcherThread&) = delete;
  TApdDispatcherThread& operator=(const TApdDispatcherThread&) = delete;

  // Launches the thread; false when the system would not create it.
  bool Start();
  // The thread has started and not yet ended.
  bool Running() const { return running_; }
  // Waits for the thread's end (call only once Running is false or the kill
  // flag is set).
  void Join();

 protected:
  virtual void Execute() = 0;
  TApdWin32Dispatcher& owner_;
  int failureCode_ = 0;  // written by the thread itself

 private:
  void Run();
  std::atomic<bool> running_{false};
  std::thread thread_;
};

class TDispThread : public TApdDispatcherThread {
 public:
  using TApdDispatcherThread::TApdDispatcherThread;

 protected:
  void Execute() override;
};

// A thread that waits on the device.
class TApdWin32Thread : public TApdDispatcherThread {
 public:
  using TApdDispatcherThread::TApdDispatcherThread;
};

class TReadThread : public TApdWin32Thread {
 public:
  using TApdWin32Thread::TApdWin32Thread;

 protected:
  void Execute() override;
};

class TStatusThread : public TApdWin32Thread {
 public:
  using TApdWin32Thread::TApdWin32Thread;

 protected:
  void Execute() override;
};

class TWriteThread : public TApdWin32Thread {
 public:
  using TApdWin32Thread::TApdWin32Thread;

 protected:
  void Execute() override;

 private:
  enum class TRoom { Ready, Dropped, Failed };
  // Writes everything in the transmit ring; no failure, or the write's.
  TDeviceFailure WriteOut();
  // Writes one block taken from the ring, until it is written or a flush or
  // the kill flag drops it.
  TDeviceFailure WriteBlock(const std::vector<uint8_t>& block);
  // Waits until the device takes more output: Ready to go on, Dropped when a
  // flush or the kill flag dropped the block, Failed when the line has gone.
  TRoom WaitForRoom();
};

class TApdWin32Dispatcher : public TApdBaseDispatcher {
 public:
  TApdWin32Dispatcher();
  ~TApdWin32Dispatcher() override;

  void EscapeComFunction(TControlLine line, bool high) override;
  int FlushCom(int which) override;
  TDeviceFailure GetComState(TLineSettings& settings) override;
  TDeviceFailure SetComState(const TLineSettings& settings) override;
  TDeviceFailure SetupCom(uint16_t inSize, uint16_t outSize) override;
  TDeviceFailure OpenCom(const std::string& name, uint16_t inSize, uint16_t outSize) override;
  int CloseCom() override;
  TDeviceFailure StartDispatcher() override;
  void StopDispatcher() override;
  bool DeviceOpen() const override;

  // Sets the status thread's event mask; 0 ends its wait at once.
  void SetEventMask(uint32_t mask);

  // The number of engine threads running now.
  int ActiveThreads() const { return activeThreads_; }
  bool Started() const { return started_; }

 protected:
  void SignalOutput() override;
  std::size_t DeviceOutputQueued() override;
  void DeviceWaitSent() override;

 private:
  friend class TApdDispatcherThread;
  friend class TDispThread;
  friend class TReadThread;
  friend class TStatusThread;
  friend class TWriteThread;

  // Sets the kill flag and wakes every engine thread.
  void Kill();
  // Makes the read thread look at the device at once (the serial event).
  void SetSerialEvent() { device_.WakeReader(); }
  // Waits, without limit, until `thread` has ended, letting the host pump
  // between looks.
  void WaitForThreadEnd(const std::unique_ptr<TApdDispatcherThread>& thread);
  void ThreadEnded();
  void JoinThreads();

  TSerialDevice device_;
  TEventHub hub_;
  TEngineEvent generalEvent_{hub_};
  TEngineEvent outputEvent_{hub_};
  TEngineEvent flushEvent_{hub_};

  std::atomic<bool> killFlag_{false};
  std::atomic<bool> started_{false};
  std::atomic<int> activeThreads_{0};
  std::atomic<uint32_t> eventMask_{kDefaultEventMask};
  std::mutex endLock_;
  std::condition_variable endChanged_;

  std::unique_ptr<TApdDispatcherThread> readThread_;
  std::unique_ptr<TApdDispatcherThread> dispThread_;
  std::unique_ptr<TApdDispatcherThread> writeThread_;
  std::unique_ptr<TApdDispatcherThread> statusThread_;
};
