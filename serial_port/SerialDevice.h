// The operating system's serial device, as the engine needs it: an exclusive
// open, the line settings, the modem lines, non-blocking reads and writes, and
// waits for line events and for room to write that another thread can cut
// short. The implementation is chosen per operating system by CMake.
//
// Threads: Open and Close belong to the thread that owns the engine and run
// while no engine thread uses the device. Read is called by the read thread
// and WaitReadable by the read thread only, Write and WaitWritable by the write
// thread only, WaitLineEvent by the status thread only; the Wake* calls, the
// purges, the line calls and OutputQueued may come from any thread at the same
// time.
//
// Failures come as TDeviceFailure, with the same kind for the same situation
// on every system (DeviceErrors.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "DeviceFailure.h"
#include "LineSettings.h"

// The two output lines the engine drives.
enum class TControlLine { Dtr, Rts };

// The levels of the modem's input lines.
struct TModemLines {
  bool cts = false;
  bool dsr = false;
  bool ring = false;
  bool rlsd = false;  // receive-line-signal-detect (carrier)

  bool operator==(const TModemLines&) const = default;
};

// What a read or a write did: the bytes it moved, or why it failed (then
// `count` is 0).
struct TTransfer {
  std::size_t count = 0;
  TDeviceFailure failure;
};

class TSerialDevice {
 public:
  enum class TWaitResult { Ready, Woken, TimedOut, HungUp, Failed };

  TSerialDevice();
  ~TSerialDevice();
  TSerialDevice(const TSerialDevice&) = delete;
  TSerialDevice& operator=(const TSerialDevice&) = delete;

  // Opens `path` for exclusive use, raw 8N1, non-blocking. No failure, or
  // what kept it from opening (NoDevice, NoPath, Held, PermissionDenied ...;
  // Held also when this object already has a device open).
  TDeviceFailure Open(const std::string& path);
  bool IsOpen() const;
  // Looks whether `path` could be opened: no failure when it is free, Held
  // when another program has it, or Open's other failures. On Linux it opens
  // the device briefly without changing its settings; on Windows it opens it
  // briefly, which fails with Held while another program holds it.
  static TDeviceFailure Probe(const std::string& path);
  // Closes the device; 0, or -1 when the close failed. Nothing when not open.
  int Close();
  // Asks the driver for receive and transmit queues of these sizes (Windows'
  // SetupComm; a tty's kernel queues have a fixed size, so Linux asks for
  // nothing). The line settings' XON/XOFF limits are fitted to the receive
  // queue the driver then reports (DriverRules.h).
  TDeviceFailure SetQueueSizes(uint32_t receiveBytes, uint32_t transmitBytes);

  // NotOpen when closed; HungUp when the line has gone; Refused when the
  // device will not give or take the settings.
  TDeviceFailure GetState(TLineSettings& settings);
  TDeviceFailure SetState(const TLineSettings& settings);
  // Raises or lowers DTR or RTS. A device without modem lines (a
  // pseudo-terminal) accepts the call and does nothing.
  void SetControlLine(TControlLine line, bool high);
  // The modem's input lines; all low for a device without modem lines.
  TModemLines ModemLines();

  // Reads what the device holds into up to `count` buffers of `each` bytes,
  // without waiting: the byte count (0 when nothing is there) or the failure.
  // Bytes that arrived before the line went away are read first; HungUp comes
  // with the first read that finds nothing more. NotOpen when the device was
  // closed under the call.
  TTransfer Read(uint8_t* const* buffers, std::size_t count, std::size_t each);
  // Writes without waiting: the count written (0 when the device has no room)
  // or the failure, HungUp and NotOpen as for Read. A 0 may also mean that
  // the bytes are on their way and not yet counted: the caller offers the
  // same bytes again (after WaitWritable), and the count of what went comes
  // then.
  TTransfer Write(const uint8_t* data, std::size_t length);

  // Waits up to `timeoutMs` until bytes wait to be read (Ready),
  // WakeReader is called (Woken) or the device goes away (HungUp).
  TWaitResult WaitReadable(int timeoutMs);
  void WakeReader();
  // Waits up to `timeoutMs` for WakeLineEventWaiter (Woken) or for the device
  // to go away (HungUp); TimedOut otherwise. Arrivals do not end it: the
  // reader waits for those itself.
  TWaitResult WaitLineEvent(int timeoutMs);
  void WakeLineEventWaiter();
  // Waits up to `timeoutMs` until the device takes more output (Ready),
  // WakeWriteWaiter is called (Woken) or the line is known to have gone
  // (HungUp). A write that fails after Ready says why itself.
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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
