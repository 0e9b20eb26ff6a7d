// The line settings of a raw serial line on Windows, shared by the tool's
// port and the simulated STB's.
#pragma once

#include <windows.h>

// Makes `dcb` a raw line at `baud`: 8 data bits, no parity, one stop bit, no
// flow control of either kind, no byte replaced or dropped, and errors that
// do not stop reading and writing. DTR and RTS are left as they are: each
// side sets its own.
inline void MakeRawLine(DCB& dcb, DWORD baud) {
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
}
