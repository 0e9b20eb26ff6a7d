// Waiting for a condition in tests, without Qt and without a pseudo-terminal,
// so the Windows tree's tests can use it too.
#pragma once

#include <chrono>
#include <functional>

// A limit no test waits out: a wait given it ends only through the event the
// test is about, and a wait that misses it shows as the test's time-out.
inline constexpr std::chrono::milliseconds kNeverWaitedOut = std::chrono::hours(1);

// Polls `condition` until it holds or `limit` passes (generous limits: this
// waits for a condition, it does not time anything).
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
