// Closing a port: operations before, during and after the close, a close that
// races another thread, bytes left queued, and a line that goes away.
#include <atomic>
#include <set>
#include <sstream>
#include <thread>

#include "Lnswin32.h"
#include "PortFixture.h"

namespace {

using std::chrono::milliseconds;

struct NamedOperation {
  const char* Name;
  std::function<void(TApdCustomComPort&)> Call;
};

const std::vector<NamedOperation>& SevenOperations() {
  static const std::vector<NamedOperation> ops = {
      {"CharReady", [](TApdCustomComPort& p) { p.CharReady(); }},
      {"GetBlock",
       [](TApdCustomComPort& p) {
         char b[4];
         p.GetBlock(b, 4);
       }},
      {"PeekBlock",
       [](TApdCustomComPort& p) {
         char b[4];
         p.PeekBlock(b, 4);
       }},
      {"PutBlock", [](TApdCustomComPort& p) { p.PutBlock("abcd", 4); }},
      {"PutChar", [](TApdCustomComPort& p) { p.PutChar('x'); }},
      {"FlushInBuffer", [](TApdCustomComPort& p) { p.FlushInBuffer(); }},
      {"FlushOutBuffer", [](TApdCustomComPort& p) { p.FlushOutBuffer(); }},
  };
  return ops;
}

void PrintTo(const NamedOperation& op, std::ostream* os) { *os << op.Name; }

class OperationOnClosedPort : public testing::TestWithParam<NamedOperation> {};

TEST_P(OperationOnClosedPort, RaisesCommNotOpenBeforeAndAfterAnOpen) {
  PtyPair pty;
  TApdComPort port;
  ConfigureLikeMainWindow(port, pty.SlavePath());
  for (int round = 0; round < 2; ++round) {
    try {
      GetParam().Call(port);
      ADD_FAILURE() << "no exception in round " << round;
    } catch (const ECommNotOpen& e) {
      EXPECT_EQ(e.ErrorCode, ecCommNotOpen);
      EXPECT_STREQ(e.what(), "ie_NOpen - device not open");
    }
    EXPECT_FALSE(port.Open());
    port.SetOpen(true);
    port.SetOpen(false);
  }
  // The hosts' waits never raise; the input wait returns at once.
  EXPECT_FALSE(port.WaitForInput(kNeverWaitedOut));
  EXPECT_FALSE(port.WaitForOutputDrained(milliseconds(1000)));
  port.WakeInputWaiters();
  EXPECT_EQ(port.InBuffUsed(), 0u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Operations, OperationOnClosedPort, testing::ValuesIn(SevenOperations()),
                         [](const testing::TestParamInfo<NamedOperation>& info) {
                           return info.param.Name;
                         });
// clang-format on

TEST_F(OpenPortTest, DuringTheCloseOperationsReturnAtOnce) {
  pty_.Send("waiting");
  ASSERT_TRUE(WaitForReceived(7));
  int pumped = 0;
  bool sawOpen = true;
  bool allQuiet = true;
  SetCloseWaitPump([&] {
    ++pumped;
    sawOpen = sawOpen && port_.Open() && port_.PortState() == psShuttingDown;
    try {
      char b[7];
      allQuiet = allQuiet && !port_.CharReady() && port_.GetBlock(b, 7) == 0 &&
                 port_.PeekBlock(b, 7) == 0 && port_.PutBlock("x", 1) == 0;
      port_.PutChar('y');
      port_.FlushInBuffer();
      port_.FlushOutBuffer();
    } catch (...) {
      allQuiet = false;
    }
  });
  port_.SetOpen(false);
  SetCloseWaitPump(nullptr);
  EXPECT_GT(pumped, 0);
  EXPECT_TRUE(sawOpen);
  EXPECT_TRUE(allQuiet);
  EXPECT_FALSE(port_.Open());
  EXPECT_THROW(port_.CharReady(), ECommNotOpen);
  EXPECT_TRUE(pty_.ReceiveAvailable(milliseconds(20)).empty());
}

TEST_F(OpenPortTest, BytesStillQueuedAtTheCloseAreDiscarded) {
  const std::size_t queued = FillUntilWritePending(port_, pty_.MasterFd());
  port_.SetOpen(false);
  const auto arrived = pty_.ReceiveAvailable(milliseconds(200));
  EXPECT_LT(arrived.size(), queued);
  // What did arrive is a clean prefix of what was queued.
  const auto pattern = Pattern(4096);
  for (std::size_t i = 0; i < arrived.size(); ++i) {
    ASSERT_EQ(arrived[i], pattern[i % 4096]) << i;
  }
}

// What a caller has drained must reach the far end even when the far end reads
// only after the close (a pseudo-terminal reports nothing queued, and a purge
// at the close would discard what its peer has not read yet).
TEST_F(OpenPortTest, BytesDrainedBeforeTheCloseAllReachThePeerAfterIt) {
  // A purge catches the bytes only while they are still on their way inside
  // the kernel, so one round may pass by luck; ten in a row do not.
  constexpr int kRounds = 10;
  const std::vector<uint8_t> cancel = {0x18, 0x18, 0x18};
  const auto block = Pattern(3000);
  std::vector<uint8_t> expected = block;
  expected.insert(expected.end(), cancel.begin(), cancel.end());
  for (int round = 0; round < kRounds; ++round) {
    if (round > 0) port_.SetOpen(true);
    port_.PutBlock(block.data(), static_cast<uint16_t>(block.size()));
    port_.PutBlock(cancel.data(), static_cast<uint16_t>(cancel.size()));
    ASSERT_TRUE(port_.WaitForOutputDrained(std::chrono::seconds(5)));
    port_.SetOpen(false);
    ASSERT_EQ(pty_.Receive(expected.size(), std::chrono::seconds(5)), expected) << round;
  }
}

// A drain that gave up leaves bytes behind, and a close then still discards
// them: a Disconnect in the middle of a transfer sends nothing more.
TEST_F(OpenPortTest, AnUndrainedCloseStillDiscardsAfterAnEarlierDrain) {
  port_.PutBlock("first", 5);
  ASSERT_TRUE(port_.WaitForOutputDrained(std::chrono::seconds(5)));
  EXPECT_EQ(pty_.Receive(5, std::chrono::seconds(5)).size(), 5u);
  const std::size_t queued = FillUntilWritePending(port_, pty_.MasterFd());
  port_.SetOpen(false);
  EXPECT_LT(pty_.ReceiveAvailable(milliseconds(200)).size(), queued);
}

TEST_F(OpenPortTest, ACloseEndsAWaitForInputInProgress) {
  std::atomic<bool> result{true};
  std::atomic<bool> returned{false};
  std::atomic<bool> starting{false};
  std::thread waiter([&] {
    starting = true;
    result = port_.WaitForInput(std::chrono::seconds(30));
    returned = true;
  });
  // Whether the wait has begun or is about to, the close must end it.
  ASSERT_TRUE(WaitUntil([&] { return starting.load(); }));
  port_.SetOpen(false);
  EXPECT_TRUE(WaitUntil([&] { return returned.load(); }));
  waiter.join();
  EXPECT_FALSE(result);
}

// The task thread works the port while the owner closes and opens it again:
// each call completes, returns at once, or raises ECommNotOpen; nothing else.
TEST(PortCloseRace, OperationsOfAnotherThreadSeeOnlyTheThreeOutcomes) {
  PtyPair pty;
  FailureRecorder failures;
  TApdComPort port;
  ConfigureLikeMainWindow(port, pty.SlavePath());
  port.SetOpen(true);
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};
  std::atomic<int> notOpen{0};
  std::atomic<int> calls{0};
  std::thread task([&] {
    uint8_t buffer[16];
    while (!stop) {
      try {
        ++calls;
        if (port.CharReady()) port.GetBlock(buffer, 1);
        port.PutChar('r');
        port.PeekBlock(buffer, 0);
        if (calls % 64 == 0) port.FlushInBuffer();
        if (calls % 256 == 0) port.FlushOutBuffer();
        port.WaitForInput(milliseconds(1));
      } catch (const ECommNotOpen&) {
        ++notOpen;
      } catch (const EBufferIsEmpty&) {
        // CharReady then GetBlock may race a flush of this same thread: fine.
      } catch (const EOutputBufferTooSmall&) {
      } catch (...) {
        ++unexpected;
      }
    }
  });
  std::thread farEnd([&] {
    while (!stop) {
      pty.Send("0123456789");
      pty.ReceiveAvailable(milliseconds(1));
    }
  });
  constexpr int kRounds = 15;
  for (int i = 0; i < kRounds; ++i) {
    WaitUntil([&] { return calls.load() > 0; });
    port.SetOpen(false);
    calls = 0;
    WaitUntil([&] { return notOpen.load() > 0 || calls.load() > 50; });
    port.SetOpen(true);
  }
  stop = true;
  task.join();
  farEnd.join();
  port.SetOpen(false);
  EXPECT_EQ(unexpected, 0);
  EXPECT_TRUE(failures.Reports().empty());
}

TEST_F(OpenPortTest, ALineThatGoesAwayIsReportedOncePerFailingThread) {
  expectFailures_ = true;
  const auto before = Pattern(100);
  pty_.Send(before);
  ASSERT_TRUE(WaitForReceived(100));
  pty_.CloseMaster();
  ASSERT_TRUE(WaitUntil([&] { return !failures_.Reports().empty(); }));
  ASSERT_TRUE(WaitUntil([&] {
    return port_.Dispatcher() != nullptr &&
           static_cast<TApdWin32Dispatcher*>(port_.Dispatcher())->ActiveThreads() == 0;
  }));
  // Nominally open; what had arrived can still be taken.
  EXPECT_TRUE(port_.Open());
  EXPECT_EQ(Take(100), before);
  EXPECT_FALSE(port_.CharReady());
  // Nothing would take bytes to the line any more: a write fails at once with
  // the line's failure, and queues nothing.
  const auto block = Pattern(100);
  try {
    port_.PutBlock(block.data(), static_cast<uint16_t>(block.size()));
    ADD_FAILURE() << "a write to a dead line succeeded";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Device read error");
  }
  EXPECT_THROW(port_.PutChar('!'), EInOutError);
  EXPECT_EQ(port_.OutBuffFree(), port_.OutSize());

  port_.SetOpen(false);
  EXPECT_FALSE(port_.Open());
  const auto reports = failures_.Reports();
  std::set<std::thread::id> threads;
  for (const FailureReport& r : reports) {
    EXPECT_EQ(r.className, "EInOutError");
    EXPECT_EQ(r.message, "Device read error");
    EXPECT_TRUE(threads.insert(r.thread).second) << "a thread reported twice";
  }
  EXPECT_LE(reports.size(), 2u);  // the read and the status thread at most
}

// A host that waits on a dead line learns it at once instead of waiting out
// its limit: the waits end and LineFailure names the failure.
TEST_F(OpenPortTest, OnALineThatWentAwayTheWaitsEndAtOnce) {
  expectFailures_ = true;
  EXPECT_EQ(port_.LineFailure(), 0);
  FillUntilWritePending(port_, pty_.MasterFd());
  pty_.CloseMaster();
  ASSERT_TRUE(WaitUntil([&] { return port_.LineFailure() != 0; }));
  EXPECT_TRUE(port_.LineFailure() == ecDeviceReadError || port_.LineFailure() == ecDeviceWriteError)
      << port_.LineFailure();
  // Far below the limits: a wait that honoured them would take minutes.
  constexpr auto kLongLimit = std::chrono::minutes(5);
  constexpr auto kAtOnce = std::chrono::seconds(10);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port_.WaitForInput(std::chrono::duration_cast<milliseconds>(kLongLimit)));
  // The bytes queued before the line went away are still waiting.
  EXPECT_FALSE(port_.WaitForOutputDrained(std::chrono::duration_cast<milliseconds>(kLongLimit)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kAtOnce);
  port_.SetOpen(false);
  EXPECT_EQ(port_.LineFailure(), 0);  // a closed port has no line to fail
}

TEST_F(OpenPortTest, AWriteWaitingForRoomWhenTheLineGoesAwayEndsAsAWriteOrReadError) {
  expectFailures_ = true;
  // The close must not wait for an answer from the write thread that ended.
  ScopedTimings timings(FlushEndedOnlyByTheWriteThread());
  port_.SetOpen(false);
  port_.SetOpen(true);
  FillUntilWritePending(port_, pty_.MasterFd());
  pty_.CloseMaster();
  auto* engine = static_cast<TApdWin32Dispatcher*>(port_.Dispatcher());
  ASSERT_TRUE(WaitUntil([&] { return engine->ActiveThreads() == 0; }));
  const auto reports = failures_.Reports();
  ASSERT_FALSE(reports.empty());
  int writeErrors = 0;
  std::set<std::thread::id> threads;
  for (const FailureReport& r : reports) {
    EXPECT_EQ(r.className, "EInOutError");
    EXPECT_TRUE(r.message == "Device read error" || r.message == "Device write error") << r.message;
    writeErrors += r.message == "Device write error";
    EXPECT_TRUE(threads.insert(r.thread).second) << "a thread reported twice";
  }
  // Which thread notices first is up to the scheduler; none reports twice.
  EXPECT_LE(writeErrors, 1);
  EXPECT_LE(reports.size(), 3u);
  port_.SetOpen(false);
  EXPECT_FALSE(port_.Open());
}

TEST(PortFailureReport, WithoutAHookGoesToStandardError) {
  SetThreadFailureReporter(nullptr);
  PtyPair pty;
  TApdComPort port;
  ConfigureLikeMainWindow(port, pty.SlavePath());
  port.SetOpen(true);
  testing::internal::CaptureStderr();
  pty.CloseMaster();
  auto* engine = static_cast<TApdWin32Dispatcher*>(port.Dispatcher());
  WaitUntil([&] { return engine->ActiveThreads() == 0; });
  port.SetOpen(false);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("Application Error: EInOutError: Device read error\n"), std::string::npos)
      << printed;
}

// Threads that fail at the same moment print whole lines, never into each
// other.
TEST(PortFailureReport, ReportsOfSeveralThreadsAtOnceStayWholeLines) {
  SetThreadFailureReporter(nullptr);
  constexpr int kThreads = 4;
  constexpr int kReportsEach = 200;
  testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kReportsEach; ++i) {
        ReportThreadFailure("EInOutError", t % 2 ? "Device read error" : "Device write error");
      }
    });
  }
  for (std::thread& t : threads) t.join();
  const std::string printed = testing::internal::GetCapturedStderr();
  std::istringstream lines(printed);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_TRUE(line == "Application Error: EInOutError: Device read error" ||
                line == "Application Error: EInOutError: Device write error")
        << line;
  }
  EXPECT_EQ(count, kThreads * kReportsEach);
}

TEST(PortLifetime, DestroyingAnOpenPortClosesIt) {
  PtyPair pty;
  {
    TApdComPort port;
    ConfigureLikeMainWindow(port, pty.SlavePath());
    port.SetOpen(true);
    port.PutBlock("bye", 3);
  }
  TApdComPort again;
  ConfigureLikeMainWindow(again, pty.SlavePath());
  again.SetOpen(true);
  EXPECT_TRUE(again.Open());
}

TEST(PortEngine, StartingTwiceIsRefused) {
  PtyPair pty;
  TApdWin32Dispatcher engine;
  ASSERT_FALSE(engine.InitPort(pty.SlavePath(), 115200, 0, 8, 1, 4096, 4096, 0).Failed());
  try {
    engine.StartDispatcher();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Dispatcher already started.");
  }
  EXPECT_EQ(engine.ActiveThreads(), 4);
  engine.DonePort();
  EXPECT_EQ(engine.ActiveThreads(), 0);
  EXPECT_FALSE(engine.Started());
}

}  // namespace
