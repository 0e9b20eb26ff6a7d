// A simulated STB for one upload through the window under wine: the Linux
// zarn-stb-sim behind COM5, started for this object by the session that
// tests/windows/with_stb_sim.sh runs for each connection to it. The
// connection carries one line of simulator options out, "ready" back once
// COM5 names the simulator's pseudo-terminal, and after the upload "name:"
// and "saved:" with the Windows path of the bytes the STB received. Closing
// the connection stops the simulator.
//
// Threads: the test's (GUI) thread. The waits keep handling Qt events, as
// PtyPort's do.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PeerLine.h"
#include "PtyPort.h"
#include "StbReceived.h"

class StbPeer {
 public:
  // Starts an STB playing `side` that repeats its greeting (or its 'C') every
  // `repeat` while the tool is silent. After an upload it restarts as a real
  // one does; its line stays until this object goes, so the connected window
  // never sees the device vanish. The line is always COM5; `line` is the
  // fixture's, unused here.
  StbPeer(StbSide side, std::chrono::milliseconds repeat, const PtyPort&) {
    const std::string options = std::string("--mode ") + (side == StbSide::Dsp ? "dsp" : "zarn") +
                                " --greet-interval " + std::to_string(repeat.count()) +
                                " --c-interval " + std::to_string(repeat.count()) + "\n";
    ready_ = control_.Connected() &&
             control_.Send(std::vector<uint8_t>(options.begin(), options.end())) &&
             ReadLine(kStartLimit) == "ready";
  }
  StbPeer(const StbPeer&) = delete;
  StbPeer& operator=(const StbPeer&) = delete;

  bool Ready() const { return ready_; }
  uint16_t ComNumber() const { return PtyPort::kComNumber; }

  // What the STB received in its one whole upload, or nothing when it has
  // received none by `limit`.
  std::optional<StbReceived> WaitForUpload(std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    StbReceived received;
    for (;;) {
      const QString line = ReadLine(std::chrono::milliseconds(deadline.remainingTime()));
      if (line.startsWith(QLatin1String("name: "))) {
        received.dspName = line.mid(6);
      } else if (line.startsWith(QLatin1String("saved: "))) {
        QFile file(line.mid(7));
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        received.bytes = file.readAll();
        return received;
      } else {
        return std::nullopt;  // the deadline passed or the session ended
      }
    }
  }

 private:
  static constexpr std::chrono::milliseconds kStartLimit{10000};
  static constexpr std::chrono::milliseconds kReceiveSlice{10};
  static constexpr char kControlPortVariable[] = "ZARN_STB_SIM_PORT";

  // One line from the session without its end, or what came of it by `limit`.
  QString ReadLine(std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    QByteArray line;
    while (!deadline.hasExpired() && control_.Connected() && !control_.HungUp()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      const std::vector<uint8_t> got = control_.Receive(1, kReceiveSlice);
      if (got.empty()) continue;
      if (got[0] == '\n') break;
      line.append(static_cast<char>(got[0]));
    }
    return QString::fromLocal8Bit(line);
  }

  PeerLine control_{kControlPortVariable};
  bool ready_ = false;
};
