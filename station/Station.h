// The flashing station: one PortSupervisor per port, the totals, and the
// stop of every child within kStopLimit. The console mode and the station
// window both drive this one class.
//
// Threads: a QObject of the thread that runs the event loop; every call and
// signal there.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <vector>

#include "PortSupervisor.h"
#include "StationConfig.h"

struct StationTotals {
  int passed = 0;
  int failed = 0;
  // Finished units per hour since Start; 0 before the first one.
  double unitsPerHour = 0;
};

// The totals over `views`, `elapsed` after the start.
StationTotals SumTotals(const std::vector<PortView>& views, std::chrono::milliseconds elapsed);

class Station : public QObject {
  Q_OBJECT

 public:
  explicit Station(StationConfig config, QObject* parent = nullptr);
  ~Station() override;

  void Start();
  // Ctrl-C to every running child; any that has not ended kStopLimit later
  // is killed. Finished() follows once every port has settled.
  void Stop();
  // The operator's "next unit in place" on port `index`.
  void NextUnit(size_t index);

  const StationConfig& Config() const { return config_; }
  std::vector<PortView> Views() const;
  StationTotals Totals() const;
  // Every port has settled (without loop mode: every unit has its result).
  bool Settled() const;
  // Every port's unit was confirmed.
  bool AllConfirmed() const;

 signals:
  void Changed();
  void Finished();

 private:
  void CheckSettled();

  StationConfig config_;
  std::vector<std::unique_ptr<PortSupervisor>> ports_;
  QTimer stopLimit_;
  std::chrono::steady_clock::time_point startedAt_{};
  bool started_ = false;
  bool finished_ = false;
};
