// Text between the program's UTF-8 and the UTF-16 that Windows' ...W calls
// take and give. Every path and text from the user or the system crosses
// here on its way in or out of the portable code, which holds UTF-8 only.
//
// Windows only (the ...W calls are the only users). Threads: any; no shared
// state.
#pragma once

#include <string>
#include <string_view>

// `text` as UTF-16. A byte sequence that is not UTF-8 becomes U+FFFD, which
// names no file: such a path then fails to open instead of opening another.
// Throws std::length_error for text longer than the calls take (2 GiB).
std::wstring WideFromUtf8(std::string_view text);

// `text` as UTF-8. An unpaired surrogate (which NTFS names may hold) becomes
// U+FFFD. Throws std::length_error as WideFromUtf8 does.
std::string Utf8FromWide(std::wstring_view text);

// A registry or SetupAPI string value as it came in `bytes`: UTF-16 up to its
// first NUL or its end (a value need not be stored with its terminator); a
// trailing odd byte is dropped.
std::wstring WideFromValueBytes(std::string_view bytes);
