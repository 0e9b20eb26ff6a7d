// The operating system's serial device, as the engine needs it: an exclusive
// open, the line settings, the modem lines, non-blocking reads and writes, and
// waits for line events and for room to write that another thread can cut
// short. The implementation is chosen per operating system by CMake.
//
// Threads: Open and Close belong to the thread that owns the engine and run
// while no engine thread uses the device. Read is called by the read thread
// and WaitReadable by the read thread only, Write and WaitWritable by the write
// thread only, WaitLineEvent by the status thread only; the Wake* calls, the purges, the line calls
// and OutputQueued may come from any thread at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Adexcept.h"
#include "LineSettings.h"

// Modem status bits (as the line-event masks use them).
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;
inline constexpr uint32_t kModemRing = 0x40;
inline constexpr uint32_t kModemRlsd = 0x80;

// Control-line functions for EscapeComFunction.
inline constexpr int kSetRts = 3;
inline constexpr int kClrRts = 4;
inline constexpr int kSetDtr = 5;
inline constexpr int kClrDtr = 6;

// What Open and Probe report. The named values are the ones the port component
// tells apart (they are also the numbers the message table gives texts for);
// any other failure comes as minus the system's error number, cast to this
// type, so the enum is open: compare against the names, never list them all.
enum class TOpenResult : int {
  Ok = 0,
  NoDevice = -2,                          // no such device, or the device is no serial port
  NoPath = -3,                            // a folder on the way is missing
  TooManyOpen = -4,                       // the process or the system has no handle left
  Held = -5,                              // another program has the device open
  NotOpen = -6,                           // the call needs an open device
  PermissionDenied = ecPermissionDenied,  // the user may not open it
  OutOfMemory = ecOutOfMemory,
};

// The number that crosses into the engine's int results and CheckException.
constexpr int OpenResultCode(TOpenResult result) { return static_cast<int>(result); }
// A failure the enum has no name for: minus the system's error number.
constexpr TOpenResult OpenFailure(int systemError) {
  return static_cast<TOpenResult>(-systemError);
}

class TSerialDevice {
 public:
  enum class TWaitResult { Ready, Woken, TimedOut, HungUp, Failed };

  TSerialDevice();
  ~TSerialDevice();
  TSerialDevice(const TSerialDevice&) = delete;
  TSerialDevice& operator=(const TSerialDevice&) = delete;

  // Opens `path` for exclusive use, raw 8N1, non-blocking. Returns Ok, one of
  // the named failures, or minus another system error number (162, "General
  // failure", for numbers the message table would show with a wrong text).
  TOpenResult Open(const std::string& path);
  bool IsOpen() const;
  // Looks whether `path` could be opened, without changing the device's
  // settings: Ok when free, Held when another program has it, or Open's other
  // results.
  static TOpenResult Probe(const std::string& path);
  // Closes the device; 0, or -1 when the close failed. Nothing when not open.
  int Close();

  // 0, or -1 when the settings cannot be read.
  int GetState(TLineSettings& settings);
  // 0, OpenResultCode(TOpenResult::NotOpen) when closed, or minus an error
  // number when the device refuses them.
  int SetState(const TLineSettings& settings);
  // Raises or lowers DTR or RTS (kSetDtr ...). A device without modem lines (a
  // pseudo-terminal) accepts the call and does nothing.
  void EscapeFunction(int function);
  // The modem status bits; 0 for a device without modem lines.
  uint32_t ModemStatus();

  // Reads what the device holds into up to `count` buffers of `each` bytes,
  // without waiting. Returns the byte count, 0 when nothing is there, or minus
  // the error number.
  long Read(uint8_t* const* buffers, std::size_t count, std::size_t each);
  // Writes without waiting: the count written, 0 when the device has no room,
  // or minus the error number.
  long Write(const uint8_t* data, std::size_t length);

  // Waits up to `timeoutMs` until bytes wait to be read (Ready),
  // WakeReader is called (Woken) or the device goes away (HungUp).
  TWaitResult WaitReadable(int timeoutMs);
  void WakeReader();
  // Waits up to `timeoutMs` for WakeLineEventWaiter (Woken) or for the device
  // to go away (HungUp); TimedOut otherwise. Arrivals do not end it: the
  // reader waits for those itself.
  TWaitResult WaitLineEvent(int timeoutMs);
  void WakeLineEventWaiter();
  // Waits up to `timeoutMs` until the device takes more output (Ready) or
  // WakeWriteWaiter is called (Woken).
  TWaitResult WaitWritable(int timeoutMs);
  void WakeWriteWaiter();

  // Discard what the device holds on one side; true on success.
  bool PurgeInput();
  bool PurgeOutput();
  // Bytes written to the device that it has not sent yet.
  std::size_t OutputQueued();
  // Blocks until the device has sent every byte written to it (tcdrain; the
  // Win32 equivalent flushes the file buffers). Callers wait for OutputQueued
  // to reach 0 first, so this covers only the last bytes in the hardware.
  void WaitSent();

  // Whether an error number that a call returned means the device handle is
  // gone (the engine then ends its threads without reporting a failure).
  static bool IsInvalidHandle(int negativeError);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
