// The station's own look at a port while no child holds it: it opens the
// port as zarn-upload does (the project's serial layer, the upload's line
// settings) and only listens. It tells when the line has been quiet long
// enough (the finished unit is gone or has stopped greeting), when the next
// unit speaks, and when the adapter has gone or come back. It never writes.
//
// Time comes in as arguments, so a test can drive it with its own clock; the
// supervisor polls it every kWatchPoll.
//
// Threads: one thread (the station's) owns it and makes every call.
#pragma once

#include <chrono>
#include <memory>
#include <string>

class TApdComPort;

class LineWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // How often the supervisor looks; and how often a missing adapter is
  // tried again.
  static constexpr std::chrono::milliseconds kWatchPoll{50};
  static constexpr std::chrono::milliseconds kAdapterRetry{1000};

  enum class Mode { Quiet, ForUnit };
  enum class Report { Nothing, Quiet, Spoke, Missing, Back };

  // `port` as the user names it: "COM31", "/dev/ttyUSB0".
  explicit LineWatch(std::string port);
  ~LineWatch();  // closes the port
  LineWatch(const LineWatch&) = delete;
  LineWatch& operator=(const LineWatch&) = delete;

  // Starts watching in `mode` (Quiet: for `quietFor` without a byte). Opens
  // the port unless it is open; Missing when it cannot be opened (the watch
  // then tries again on its polls and reports Back once it opens).
  Report Begin(Mode mode, std::chrono::milliseconds quietFor, Clock::time_point now);
  Report Poll(Clock::time_point now);
  // Closes the port (before a child takes it, or when stopping).
  void End();

  bool Watching() const { return watching_; }
  // The serial layer's words for the last failed open.
  const std::string& LastError() const { return lastError_; }

 private:
  bool TryOpen();
  void Close();

  std::string portName_;
  std::unique_ptr<TApdComPort> port_;
  bool watching_ = false;
  bool missing_ = false;
  Mode mode_ = Mode::Quiet;
  std::chrono::milliseconds quietFor_{0};
  Clock::time_point quietSince_{};
  Clock::time_point nextTry_{};
  std::string lastError_;
};
