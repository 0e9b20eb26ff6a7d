// The exception display: what the user sees of a failure that no one caught
// while a message (a click, a key, a timer) was handled.
//
// Threads: GUI thread only.
#pragma once

#include <QString>

#include <exception>

// The application title, the caption of the exception display's box.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// The box's text for a failure message: the message with "." appended when it
// is not empty and the code of its last character is above that of ".".
QString ExceptionDisplayText(const QString& message);

// The message a caught failure carries: what() of a std::exception, the empty
// text for anything else that was thrown.
QString ExceptionMessage(const std::exception_ptr& failure);

// Shows the failure in one application-modal box (caption the application
// title, error icon, one OK button) and returns when it is dismissed.
void ShowException(const std::exception_ptr& failure);

// Runs `command`; a failure that leaves it goes to ShowException and the
// caller goes on. The event loop's own catch (the application's notify) does
// the same for everything else.
template <typename F>
void RunGuarded(F&& command) {
  try {
    command();
  } catch (...) {
    ShowException(std::current_exception());
  }
}
