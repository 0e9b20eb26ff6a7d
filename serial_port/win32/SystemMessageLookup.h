// Which languages a system error text is asked for in, and in which order.
// Asking for one fixed language (US English) fails with
// ERROR_RESOURCE_LANG_NOT_FOUND on a Windows without that language's
// resources, which left every system text empty on localized installs.
//
// Windows only. Threads: any; no shared state.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// First the user's own language (language neutral with the default
// sublanguage); then 0, with which FormatMessage searches by itself: language
// neutral, the thread's, the user's, the system's, then US English.
inline constexpr DWORD kSystemMessageLanguages[] = {MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), 0};

// Formats one message in one language: the text, or nothing when the system
// has none in that language (or none at all).
using MessageInLanguage = std::function<std::optional<std::wstring>(DWORD language)>;

// The text in the first language of kSystemMessageLanguages that has one, ""
// when none has.
std::wstring FirstSystemMessage(const MessageInLanguage& formatIn);
