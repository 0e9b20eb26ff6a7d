// Standard input through a QSocketNotifier: the event loop says when a read
// will not block.
#include <errno.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "../OperatorInput.h"

namespace {
// Bytes taken per notice, and the longest line kept (a longer one names no
// port anyway).
constexpr size_t kReadChunk = 256;
constexpr size_t kLineLimit = 256;
}  // namespace

struct OperatorInput::Reader {
  explicit Reader(std::function<void(const std::string&)> onLine)
      : onLine(std::move(onLine)), notifier(STDIN_FILENO, QSocketNotifier::Read) {
    QObject::connect(&notifier, &QSocketNotifier::activated, [this] { Read(); });
  }

  void Read() {
    char bytes[kReadChunk];
    const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (count <= 0) {
      notifier.setEnabled(false);
      return;
    }
    for (ssize_t i = 0; i < count; ++i) {
      if (bytes[i] != '\n') {
        if (pending.size() < kLineLimit) pending += bytes[i];
        continue;
      }
      const std::string line = std::move(pending);
      pending.clear();
      onLine(line);
    }
  }

  std::function<void(const std::string&)> onLine;
  QSocketNotifier notifier;
  std::string pending;
};

OperatorInput::OperatorInput(std::function<void(const std::string& line)> onLine)
    : reader_(std::make_unique<Reader>(std::move(onLine))) {}

OperatorInput::~OperatorInput() = default;
