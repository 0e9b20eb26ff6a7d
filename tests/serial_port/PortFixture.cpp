#include "PortFixture.h"

#include <sys/ioctl.h>

FailureRecorder::FailureRecorder() {
  SetThreadFailureReporter([this](const std::string& cls, const std::string& message) {
    std::lock_guard<std::mutex> guard(lock_);
    reports_.push_back({cls, message, std::this_thread::get_id()});
  });
}

FailureRecorder::~FailureRecorder() { SetThreadFailureReporter(nullptr); }

std::vector<FailureReport> FailureRecorder::Reports() const {
  std::lock_guard<std::mutex> guard(lock_);
  return reports_;
}

void OpenPortTest::SetUp() {
  ConfigureLikeMainWindow(port_, pty_.SlavePath());
  port_.SetOpen(true);
  ASSERT_TRUE(port_.Open());
  ASSERT_EQ(port_.PortState(), psOpen);
}

void OpenPortTest::TearDown() {
  port_.SetOpen(false);
  if (!expectFailures_) {
    for (const FailureReport& r : failures_.Reports()) {
      ADD_FAILURE() << "unexpected engine failure: " << r.className << ": " << r.message;
    }
  }
}

bool OpenPortTest::WaitForReceived(std::size_t count) {
  return WaitUntil([&] {
    port_.WaitForInput(std::chrono::milliseconds(10));
    return port_.InBuffUsed() >= count;
  });
}

std::vector<uint8_t> OpenPortTest::Take(uint16_t count) {
  std::vector<uint8_t> out(count);
  EXPECT_EQ(port_.GetBlock(out.data(), count), count);
  return out;
}

std::size_t FillUntilWritePending(TApdCustomComPort& port, int masterFd) {
  const auto block = Pattern(4096);
  const uint32_t outSize = port.OutBuffFree();
  std::size_t queued = 0;
  WaitUntil([&] {
    while (port.OutBuffFree() >= block.size()) {
      port.PutBlock(block.data(), static_cast<uint16_t>(block.size()));
      queued += block.size();
    }
    int pending = 0;
    ioctl(masterFd, FIONREAD, &pending);
    // The ring is looked at last: the write thread may take all of it just
    // before its write gets stuck, leaving the ring empty behind it.
    return pending > 0 && !port.WaitForOutputDrained(std::chrono::milliseconds(20)) &&
           port.OutBuffFree() < outSize;
  });
  return queued;
}
