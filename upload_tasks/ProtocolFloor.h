// The protocol floor: the least time an upload can take on the line at
// 115200 bits per second (10 bits a byte) with the protocol's fixed pauses.
// The benchmarks hold the measured uploads against it, and zarn-upload
// --info reports it.
//
// What each floor covers:
//  - ZARN: from the request (DnRequest queued) to the end, with the STB's
//    own flash time given; not the wait for the greeting before it. The
//    request and its reply on the line, 50 + 550 + 120 ms (the header's line
//    time hides in them), 790 ms per packet (550 + 120 + 120; a packet's line
//    time, 0.71 s for 8192 bytes, overlaps the pauses that follow it), except
//    that after the last packet the end word waits 350 ms or for the last
//    packet to have crossed the line, whichever is later; then two 50 ms
//    pauses before the flash report, the flash time beyond them, and the
//    pause after it.
//  - DSP (default pacing): from first contact to the end: 200 ms per data
//    block, plus the line time of the header and closing blocks, the two
//    EOTs and the STB's five reply bytes.
//
// Pure functions; safe from any thread.
#pragma once

#include <chrono>
#include <cstdint>

inline constexpr double kLineBaud = 115200.0;
inline constexpr double kLineBitsPerByte = 10.0;

// Time `bytes` take on the line.
double LineSeconds(int64_t bytes);

// ZARN packets and DSP data blocks for a file of `length` bytes.
int64_t ZarnPacketCount(int64_t imageLength);
int64_t DspBlockCount(int64_t fileLength);

// The floors, in seconds, for an image or file of `length` bytes (a ZARN
// image includes its 64-byte header).
double ZarnFloorSeconds(int64_t imageLength,
                        std::chrono::milliseconds stbFlashTime = std::chrono::milliseconds(0));
double DspFloorSeconds(int64_t fileLength);
