// A bench position for the station's tests: the station's port is one
// pseudo-terminal that stays (the adapter), and the test puts a simulated
// STB behind it or takes it away (a unit swap), as an operator does. A
// thread copies the bytes between the port's far end and the unit's line.
//
// Threads: Attach and Detach from the test's thread; the copying runs on the
// line's own thread.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "PtyPair.h"

namespace stbsim {
class StbSimulator;
}

class BenchLine {
 public:
  BenchLine();
  ~BenchLine();
  BenchLine(const BenchLine&) = delete;
  BenchLine& operator=(const BenchLine&) = delete;

  // The device the station opens.
  const std::string& PortPath() const { return adapter_.SlavePath(); }
  // Puts `unit` on the line (its pseudo-terminal must stay open while it is
  // attached); what the station sends meanwhile reaches it.
  void Attach(const stbsim::StbSimulator& unit);
  // Takes the unit away: the line is silent, and what the station sends is lost.
  void Detach();

 private:
  void Copy();

  PtyPair adapter_{PtyPair::SlaveEnd::HeldOpen};
  std::mutex mutex_;
  int unit_ = -1;  // the unit's line, -1 when none
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
