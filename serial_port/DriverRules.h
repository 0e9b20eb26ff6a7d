// Two rules of Windows' serial drivers that the Win32 backend obeys, written
// as pure functions over the drivers' numbers so that every tree tests them.
//
// Threads: pure functions, callable from any thread.
#pragma once

#include <cstdint>

// XON/XOFF limits as the line settings hold them.
struct TFlowLimits {
  uint32_t xonLim = 0;
  uint32_t xoffLim = 0;

  bool operator==(const TFlowLimits&) const = default;
};

// The limits a driver accepts. Microsoft's serial driver refuses a handflow
// whose XON or XOFF limit is larger than its receive queue (SetCommState
// then fails with ERROR_INVALID_PARAMETER), and the record's fields are 16
// bits wide. `receiveQueue` is the queue the driver reports
// (COMMPROP.dwCurrentRxQueue); 0 means it reports none, and only the width
// applies.
TFlowLimits FitFlowLimits(TFlowLimits wanted, uint32_t receiveQueue);

// How a pending read or write on an open port ended when it failed.
enum class TPendingEnd {
  Purged,    // a purge or the close this program asked for cancelled it
  LineGone,  // anything else: the driver gave up on the line
};

// Windows' ERROR_OPERATION_ABORTED, with which a cancel completes an operation.
inline constexpr uint32_t kOperationAbortedError = 995;

// ERROR_OPERATION_ABORTED is a purge only when this program asked for a purge
// or a close (or cancelled the operation itself) since the operation started;
// a driver that completes operations with it by itself (some do when their
// adapter is pulled out) would otherwise make the reader spin. Every other
// failure of a pending operation on an open port means the line has gone
// (removal completes them with 5, 6, 22, 31, 55, 433, 1167, 109 or 21,
// depending on the driver).
TPendingEnd ClassifyPendingFailure(uint32_t error, bool cancelRequestedSinceStart);

// Whether a read, a write or a status call (ClearCommError) on a port this
// program holds open failed because the device has gone. A pulled adapter's
// driver fails them with one of the numbers above, or with
// ERROR_DEVICE_REMOVED, at once as well as when they were pending; 995 among
// them, since this program cancels only operations that are already pending
// (an operation that fails with it at its start was aborted by the driver).
// ERROR_ACCESS_DENIED and ERROR_INVALID_HANDLE count too: the handle is this
// program's own and open, so only the driver can have made it so.
bool IsRemovalError(uint32_t error);
