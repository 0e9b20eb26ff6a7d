// Process-wide hooks through which the engine reaches its host without knowing
// what kind of program it runs in (a window, the command-line front end, tests).
//
// Both hooks may be installed at any time from any thread; a call that is in
// progress keeps using the hook it started with.
#pragma once

#include <functional>
#include <string>

// How an engine thread that ends on a failure tells the user. Called once per
// failing thread, from that thread, with the exception's class name
// ("EInOutError") and its message ("Device read error"). Several threads may
// report at the same time; a hook that prints must write each report whole.
// Without a hook the report goes to stderr as one whole line
// "Application Error: <class>: <message>", never mixed with another report.
using TThreadFailureReporter =
    std::function<void(const std::string& exceptionClass, const std::string& message)>;
void SetThreadFailureReporter(TThreadFailureReporter reporter);

// Sends a failure report through the installed reporter (or to stderr).
void ReportThreadFailure(const std::string& exceptionClass, const std::string& message);

// Called between the tests of a closing port's waits for its threads, so that a
// GUI can handle one pending event and stay responsive. Default: nothing.
void SetCloseWaitPump(std::function<void()> pump);

// Runs the installed pump once (nothing without one).
void RunCloseWaitPump();
