// What a simulated STB (StbPeer, one per system in support/posix and
// support/win32) is told to play, and what it received in one upload.
#pragma once

#include <QByteArray>
#include <QString>

// The ZARN command-word receiver (greets with "KGS") or the .DSP block
// receiver (asks with 'C').
enum class StbSide { Zarn, Dsp };

struct StbReceived {
  QByteArray bytes;  // a ZARN image's header and body, or a .DSP file's data
  QString dspName;   // the name a .DSP transfer came with (empty for ZARN)
};
