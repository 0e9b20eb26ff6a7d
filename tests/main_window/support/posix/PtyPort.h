// A pseudo-terminal that stands in for an STB's serial line in window tests:
// the port link folder (ZARN_PORT_DIR) is a private temporary folder holding a
// link "COM<n>" to the terminal's slave side, so the window's Connect reaches
// it through the normal port number lookup; the test plays the STB on the
// master side.
//
// Threads: the test's (GUI) thread. The waits keep handling Qt events, since
// a task that talks to the peer also waits for the GUI thread.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>

class PtyPort {
 public:
  // Sets ZARN_PORT_DIR for the whole process; create one before the window
  // first lists ports.
  explicit PtyPort(uint16_t comNumber = 31) : comNumber_(comNumber) {
    qputenv("ZARN_PORT_DIR", folder_.path().toLocal8Bit());
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    linked_ = symlink(name, LinkPath().c_str()) == 0;
  }
  ~PtyPort() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  bool Ready() const { return master_ >= 0 && linked_; }
  uint16_t ComNumber() const { return comNumber_; }
  const std::string& SlavePath() const { return slavePath_; }
  QString Folder() const { return folder_.path(); }
  std::string LinkPath() const {
    return QDir(folder_.path()).filePath(QStringLiteral("COM%1").arg(comNumber_)).toStdString();
  }

  bool Write(const QByteArray& bytes) {
    return master_ >= 0 &&
           ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
  }

  // Collects `count` bytes from the line, handling Qt events meanwhile;
  // returns what arrived by the deadline.
  QByteArray Read(int count, int timeoutMs) {
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count && !deadline.hasExpired() && master_ >= 0) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      pollfd pfd{master_, POLLIN, 0};
      if (poll(&pfd, 1, kPollSliceMs) <= 0) continue;
      char buffer[512];
      const ssize_t n =
          ::read(master_, buffer, std::min<size_t>(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<qsizetype>(n));
    }
    return got;
  }

  // Hangs up the line as a pulled adapter would: the slave side sees EIO.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  static constexpr int kPollSliceMs = 10;

  QTemporaryDir folder_;
  uint16_t comNumber_;
  int master_ = -1;
  int slave_ = -1;  // kept open so the master never reads a hang-up meanwhile
  std::string slavePath_;
  bool linked_ = false;
};
