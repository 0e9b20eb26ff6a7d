// The fixed pauses of the two uploads, in one place: the tasks wait them out,
// and the protocol floor (ProtocolFloor.h) adds them up. The STB's firmware
// is paced by them, so they are part of what passes on the line.
//
// Constants only; safe from any thread.
#pragma once

#include <chrono>

namespace zarn {

inline constexpr std::chrono::milliseconds kGreetingRestPause{50};  // lets 'G' 'S' follow the 'K'
inline constexpr std::chrono::milliseconds kAfterGreetingPause{150};
inline constexpr std::chrono::milliseconds kReplyPause{50};  // lets a whole reply word arrive
inline constexpr std::chrono::milliseconds kBeforeHeaderPause{550};
inline constexpr std::chrono::milliseconds kAfterHeaderPause{120};
inline constexpr std::chrono::milliseconds kAfterPacketLengthPause{550};
inline constexpr std::chrono::milliseconds kAfterPacketDataPause{120};
inline constexpr std::chrono::milliseconds kAfterPacketEndPause{120};
inline constexpr std::chrono::milliseconds kBeforeEndOfImagePause{350};

}  // namespace zarn

namespace ymodem {

// The STB answers a data block within this pause (default pacing); its reply
// is read then.
inline constexpr std::chrono::milliseconds kBlockReplyPause{200};

}  // namespace ymodem
