#include "Station.h"

StationTotals SumTotals(const std::vector<PortView>& views, std::chrono::milliseconds elapsed) {
  StationTotals totals;
  for (const PortView& view : views) {
    totals.passed += view.passed;
    totals.failed += view.failed;
  }
  const int units = totals.passed + totals.failed;
  if (units > 0 && elapsed.count() > 0) {
    totals.unitsPerHour = units * 3600000.0 / static_cast<double>(elapsed.count());
  }
  return totals;
}

Station::Station(StationConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)) {
  for (const std::string& port : config_.ports) {
    auto supervisor = std::make_unique<PortSupervisor>(config_, port);
    connect(supervisor.get(), &PortSupervisor::Changed, this, &Station::Changed);
    connect(supervisor.get(), &PortSupervisor::Settle, this, &Station::CheckSettled);
    ports_.push_back(std::move(supervisor));
  }
  stopLimit_.setSingleShot(true);
  stopLimit_.setInterval(kStopLimit);
  connect(&stopLimit_, &QTimer::timeout, this, [this] {
    for (auto& port : ports_) port->Kill();
  });
}

Station::~Station() = default;

void Station::Start() {
  if (started_) return;
  started_ = true;
  startedAt_ = std::chrono::steady_clock::now();
  for (auto& port : ports_) port->Start();
  CheckSettled();
}

void Station::Stop() {
  for (auto& port : ports_) port->Stop();
  stopLimit_.start();
  CheckSettled();
}

void Station::NextUnit(size_t index) {
  if (index < ports_.size()) ports_[index]->NextUnit();
}

std::vector<PortView> Station::Views() const {
  std::vector<PortView> views;
  for (const auto& port : ports_) views.push_back(port->View());
  return views;
}

StationTotals Station::Totals() const {
  const auto elapsed = started_ ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - startedAt_)
                                : std::chrono::milliseconds(0);
  return SumTotals(Views(), elapsed);
}

bool Station::Settled() const {
  for (const auto& port : ports_) {
    if (!port->Settled()) return false;
  }
  return true;
}

bool Station::AllConfirmed() const {
  for (const auto& port : ports_) {
    if (port->View().state != PortState::Pass) return false;
  }
  return !ports_.empty();
}

void Station::CheckSettled() {
  if (finished_ || !started_ || !Settled()) return;
  finished_ = true;
  stopLimit_.stop();
  emit Finished();
}
