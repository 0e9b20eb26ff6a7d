// What an upload task needs from the program that runs it. The window
// implements it (main_window/), and so does the command-line front end (cli/).
//
// Threads: every call except RunOnMainThread's function is made from the task's
// own thread. Each call has taken full effect when it returns: a log line is in
// the log, the progress bar shows the new value, a message box has been
// dismissed.
#pragma once

#include <functional>
#include <string>

class TApdCustomComPort;

// How a task ended, as far as a caller that must decide whether the STB holds
// the image can tell.
enum class TaskEnd {
  Early,        // a failure, a time-out or a stop ended it before its finish
  Unconfirmed,  // it reached its finish, but the STB never confirmed the upload
  Confirmed,    // the STB confirmed: FlashOk (images), closing block acknowledged (DSP)
  FlashError,   // it reached its finish with the STB's report of a failed flash
};

class TaskHost {
 public:
  virtual ~TaskHost() = default;

  // The port the task talks through (ApdComPort1 in the window).
  virtual TApdCustomComPort& Port() = 0;

  // The chosen image path as it stands now (OpenDialog1's FileName).
  virtual std::string ChosenPath() = 0;

  // Appends one whole line at the end of the status log.
  virtual void AppendLog(const std::string& line) = 0;

  // Progress bar.
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressMin(int minimum) = 0;
  virtual void SetProgressMax(int maximum) = 0;
  virtual void StepProgressBy(int delta) = 0;

  // Shows a box with an OK button and no icon; returns once it is dismissed.
  // Only the calling (task) thread waits: the host stays usable meanwhile.
  virtual void ShowMessageBox(const std::string& text, const std::string& title) = 0;

  // Runs `fn` on the host's main thread when it next attends to its event loop
  // and returns once `fn` has finished.
  virtual void RunOnMainThread(const std::function<void()>& fn) = 0;

  // Called on the main thread at the end of a task's termination notice, after
  // the termination line, with how the task ended. A host that does not care
  // (the window) need not override it.
  virtual void TaskEnded(TaskEnd /*end*/) {}
};
