// The serial port component: one serial port with a receive ring that fills in
// the background and a transmit ring that empties in the background, operations
// that never wait for the line, and failures raised as the exceptions of
// Adexcept.h.
//
// Threads: the owner's thread (the GUI thread in the window) opens and closes
// the port and writes the settings. One other thread at a time (an upload task)
// may call the operations while the port is open or being closed; a close never
// releases the engine under an operation in progress. The engine's own threads
// (Awuser.h, Lnswin32.h) move the bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Adexcept.h"

enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum TPortState { psClosed, psShuttingDown, psOpen };
enum THWFlowOption : unsigned {
  hwfUseDTR = 1u << 0,
  hwfUseRTS = 1u << 1,
  hwfRequireDSR = 1u << 2,
  hwfRequireCTS = 1u << 3,
};
using THWFlowOptions = unsigned;  // a set of THWFlowOption bits
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum TDeviceLayer { dlWin32, dlWinsock };

class TApdBaseDispatcher;

class TApdBaseComponent {
 public:
  virtual ~TApdBaseComponent() = default;
};

// Asks the user for a port. Returns the chosen port number, or nothing when the
// user did not confirm. May raise (EConvertError when an empty list is
// confirmed). Installed once by the host (the window installs TComSelectForm);
// without a hook, a prompt counts as not confirmed. One hook for the process:
// the window's constructor replaces whatever was set before it (and its
// destructor clears it), so a test that answers the prompt sets its hook after
// the window exists; set before, the modal port dialog would wait for a click.
using TPortPromptHook = std::function<std::optional<uint16_t>()>;
void SetPortPromptHook(TPortPromptHook hook);

class TApdCustomComPort : public TApdBaseComponent {
 public:
  TApdCustomComPort();
  ~TApdCustomComPort() override;  // closes the port first when it is open
  TApdCustomComPort(const TApdCustomComPort&) = delete;
  TApdCustomComPort& operator=(const TApdCustomComPort&) = delete;

  // --- settings (owner's thread). Writing an unchanged value does nothing. ---
  uint16_t ComNumber() const;
  void SetComNumber(uint16_t value);  // while open: close, store, open again
  int32_t Baud() const;
  void SetBaud(int32_t value);  // while open: SetLine at once
  TParity Parity() const;
  void SetParity(TParity value);
  uint16_t DataBits() const;
  void SetDataBits(uint16_t value);
  uint16_t StopBits() const;
  void SetStopBits(uint16_t value);
  uint16_t InSize() const;
  void SetInSize(uint16_t value);
  uint16_t OutSize() const;
  void SetOutSize(uint16_t value);
  bool PromptForPort() const;
  void SetPromptForPort(bool value);
  bool AutoOpen() const;
  void SetAutoOpen(bool value);
  bool DTR() const;
  void SetDTR(bool value);
  bool RTS() const;
  void SetRTS(bool value);
  THWFlowOptions HWFlowOptions() const;
  void SetHWFlowOptions(THWFlowOptions value);
  TSWFlowOptions SWFlowOptions() const;
  void SetSWFlowOptions(TSWFlowOptions value);
  char XOnChar() const;
  void SetXOnChar(char value);
  char XOffChar() const;
  void SetXOffChar(char value);
  TTraceLogState Tracing() const;
  void SetTracing(TTraceLogState value);
  TTraceLogState Logging() const;
  void SetLogging(TTraceLogState value);
  bool UseEventWord() const;
  void SetUseEventWord(bool value);
  TTapiMode TapiMode() const;
  void SetTapiMode(TTapiMode value);
  TDeviceLayer DeviceLayer() const;
  void SetDeviceLayer(TDeviceLayer value);

  // Linux addition: when not empty, the open uses this device path instead of
  // the device that ComNumber names, and no port is asked for.
  const std::string& DevicePath() const;
  void SetDevicePath(const std::string& path);

  // Reading: the port is open (also while a close runs). Writing true opens
  // (asking for a port when ComNumber is 0), false closes; exceptions of the
  // open reach the caller.
  bool Open() const;
  void SetOpen(bool value);
  TPortState PortState() const;

  // --- operations (any one thread; never wait for the line) ---
  // While the port shuts down they return at once (CharReady false, counts 0).
  // On a closed port: ECommNotOpen, or an open first when AutoOpen is true.
  bool CharReady();
  uint16_t GetBlock(void* Block, uint16_t Len);   // exactly Len bytes or EBufferIsEmpty
  uint16_t PeekBlock(void* Block, uint16_t Len);  // copies without taking them
  int PutBlock(const void* Block, uint16_t Len);  // all Len bytes or EOutputBufferTooSmall; 0
  void PutChar(uint8_t C);
  void FlushInBuffer();
  void FlushOutBuffer();

  // --- additions for hosts that must not poll ---
  // Blocks until a received byte is waiting, WakeInputWaiters is called, the
  // port closes, or `limit` passes. Returns CharReady() at its end. Never
  // raises; on a closed port it returns false at once.
  bool WaitForInput(std::chrono::milliseconds limit);
  // Ends every WaitForInput in progress (any thread).
  void WakeInputWaiters();
  // Blocks for `limit` unless the line fails (LineFailure) or the port starts
  // to close first; received bytes and WakeInputWaiters do not end it. True
  // when it ended for a failed line or a close, and at once on a port that is
  // not open. Never raises. For the protocols' fixed pauses, which have no
  // reason to go on once the line is gone.
  bool WaitForLineGone(std::chrono::microseconds limit);
  // Blocks until every queued byte has been written to the device and the
  // device has sent it, or `limit` passes; true when drained. A close right
  // after a successful drain (and no PutBlock since) keeps those bytes: the
  // far end gets them even when it reads only after the close. For hosts that
  // close the port right after a final word (the command-line front end).
  // False at once when the line has failed.
  bool WaitForOutputDrained(std::chrono::milliseconds limit);

  // 0 while the line works; once an engine thread has ended on a failure (the
  // device went away) the error code of its report (ecDeviceReadError or ecDeviceWriteError, as
  // CheckException raises it). The port stays nominally open and what was
  // received can still be read; PutBlock raises that failure at once, and
  // WaitForInput, WaitForLineGone and WaitForOutputDrained return at once.
  // Never raises; 0 on a port that is not open.
  int LineFailure();

  // Bytes waiting in the receive ring, and free room in the transmit ring; 0
  // on a port that is not open. Never raise, never open the port.
  uint32_t InBuffUsed();
  uint32_t OutBuffFree();

  // The engine while the port is open, else nullptr. For the owner's thread
  // (diagnostics and tests); the pointer dies with the close.
  TApdBaseDispatcher* Dispatcher() const;

 protected:
  // Overridable steps of the open and close sequences.
  virtual void ActivateDeviceLayer();  // create the engine
  virtual void InitializePort();       // name the device, open it through the engine
  virtual void ValidateComport();      // check the number, ask for one
  virtual void DonePort();             // the close sequence
  virtual void InitPort();             // the open sequence

 private:
  struct State;
  class TOperationGuard;
  // What an operation does on a closed port: open it or raise ECommNotOpen
  // (as AutoOpen says), or return at once.
  enum class TWhenClosed { OpenOrRaise, ReturnAtOnce };
  // Runs one operation under the rules every operation shares: while the port
  // closes it returns `notOpen` at once; on a closed port it does what
  // `whenClosed` says; otherwise `body` runs on the engine, which the close
  // does not release until it has returned.
  template <class R, class Body>
  R RunOperation(R notOpen, TWhenClosed whenClosed, Body&& body);
  // Stores a line value (Baud, Parity, DataBits, StopBits) and, while open,
  // rewrites the line with all four at once.
  template <class T>
  void ChangeLineValue(T& field, T value);
  void ReleaseEngineAfterOperations();
  std::unique_ptr<State> s_;
};

// The published component the window owns.
class TApdComPort : public TApdCustomComPort {
 public:
  TApdComPort() = default;
};
