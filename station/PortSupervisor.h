// Runs one port of the station: the zarn-upload child for each unit, the
// line watch between units, and the PortMachine that decides between them.
// A child's crash, its garbage or its silence shows on this port only.
//
// Threads: a QObject of the station's thread; every call and signal there.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

#include "LineWatch.h"
#include "PortMachine.h"
#include "StationConfig.h"

class QProcess;

class PortSupervisor : public QObject {
  Q_OBJECT

 public:
  PortSupervisor(const StationConfig& config, std::string port, QObject* parent = nullptr);
  ~PortSupervisor() override;

  void Start();
  // The operator's "next unit in place".
  void NextUnit();
  // Ctrl-C to a running child; the watch ends.
  void Stop();
  // Ends a child that did not take its stop path in time.
  void Kill();

  const PortView& View() const { return machine_.View(); }
  bool Settled() const { return machine_.Settled(); }

 signals:
  void Changed();
  void Settle();

 private:
  void Run(PortAction action);
  void StartChild();
  void ReadOut();
  void ReadErr();
  void ChildEnded(const ChildExit& exit);
  void Poll();
  void Handle(LineWatch::Report report);
  void RecordLostRow(const ChildExit& exit);
  void Report();

  const StationConfig& config_;
  PortMachine machine_;
  LineWatch watch_;
  QTimer pollTimer_;
  QProcess* child_ = nullptr;
  QByteArray outPending_;
  QByteArray errPending_;
  std::string errLastLine_;
  std::chrono::system_clock::time_point childStartAt_{};
  std::chrono::steady_clock::time_point childSteadyStart_{};
};
