// The runner both task kinds share: start, thread name, TaskRunning, the stop
// request, the whole-second wait and its precedence, the image file handle,
// the termination notice on the main thread and release on end. A probe task
// with a scripted body runs over a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Adport.h"
#include "FakeTaskHost.h"
#include "PortSetup.h"
#include "PtyPair.h"
#include "ThreadName.h"
#include "Unit2.h"
#include "testing/FakeTaskClock.h"

namespace {

using namespace std::chrono_literals;

struct Kind {
  const char* threadName;
  const char* terminationLine;
};
constexpr Kind kUpload{"UpThread", "Upload task terminated!!!"};
constexpr Kind kDownload{"UpDspThread", "Download task terminated!!!"};

// A task whose body is a test's function; it opens the base's helpers up.
class ProbeTask final : public TThread {
 public:
  using Body = std::function<void(ProbeTask&)>;

  ProbeTask(TaskHost& host, TaskClock& clock, Body body, Kind kind = kUpload,
            bool stopBeforeStart = false)
      : TThread(host, clock, kind.threadName, kind.terminationLine), body_(std::move(body)) {
    constructed_ = true;
    if (stopBeforeStart) RequestStop();
    Start();
  }

  using TThread::FlushBoth;
  using TThread::Log;
  using TThread::MarkFinished;
  using TThread::Port;
  using TThread::TheImageFile;
  using TThread::WaitOutcome;
  using TThread::WaitSeconds;
  using TThread::WaitWithoutLimit;

  bool Constructed() const { return constructed_; }

 protected:
  void Execute() override { body_(*this); }

 private:
  Body body_;
  bool constructed_ = false;
};

class TaskRunner : public testing::Test {
 protected:
  void SetUp() override {
    OpenPortOn(port_, pty_.SlavePath());
    ASSERT_TRUE(port_.Open());
  }

  void TearDown() override {
    // A task still alive would outlive the port and the host.
    EXPECT_TRUE(host_.RunUntilTaskEnds(30s));
    EXPECT_FALSE(TaskRunning.load());
    EXPECT_EQ(TThread::LiveTasks(), 0);
  }

  // Sends one byte and waits until the port has it.
  void ByteWaiting() {
    pty_.Send(std::string("x"));
    ASSERT_TRUE(port_.WaitForInput(5000ms));
  }

  PtyPair pty_{PtyPair::SlaveEnd::HeldOpen};
  TApdComPort port_;
  FakeTaskHost host_{port_};
  FakeTaskClock clock_;
};

// --- Every ending leaves the termination line last and TaskRunning false.

struct Ending {
  const char* name;
  Kind kind;
  bool stopBeforeStart;
  ProbeTask::Body body;
  bool reachedFinish;
  bool bodyRuns;  // every body writes "body ran" first
};

class TaskEndings : public TaskRunner, public testing::WithParamInterface<Ending> {};

TEST_P(TaskEndings, TerminationLineLastTaskRunningFalseNoBoxReleased) {
  const Ending& ending = GetParam();
  new ProbeTask(host_, clock_, ending.body, ending.kind, ending.stopBeforeStart);
  ASSERT_TRUE(host_.RunUntilTaskEnds());

  std::vector<std::string> expected;
  if (ending.bodyRuns) expected.push_back("body ran");
  expected.push_back(ending.kind.terminationLine);
  EXPECT_EQ(host_.Log(), expected);
  EXPECT_TRUE(host_.TerminationLineOnMainThread());
  EXPECT_FALSE(TaskRunning.load());
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(ending.reachedFinish));
  EXPECT_EQ(TThread::LiveTasks(), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Runner, TaskEndings,
    testing::Values(
        Ending{"BodyReturns", kUpload, false, [](ProbeTask& t) { t.Log("body ran"); }, false, true},
        Ending{"BodyFinishes", kDownload, false,
               [](ProbeTask& t) {
                 t.Log("body ran");
                 t.MarkFinished();
               },
               true, true},
        Ending{"StdExceptionLeavesBody", kUpload, false,
               [](ProbeTask& t) {
                 t.Log("body ran");
                 throw std::runtime_error("dropped");
               },
               false, true},
        Ending{"PortFailureLeavesBody", kDownload, false,
               [](ProbeTask& t) {
                 t.Log("body ran");
                 uint8_t word[4];
                 t.Port().GetBlock(word, sizeof word);  // nothing received: EBufferIsEmpty
               },
               false, true},
        Ending{"ForeignThrowLeavesBody", kDownload, false,
               [](ProbeTask& t) {
                 t.Log("body ran");
                 throw 42;
               },
               false, true},
        // The stopped task must skip its body: a "body ran" line fails the row.
        Ending{"StopBeforeBodyBegan", kUpload, true, [](ProbeTask& t) { t.Log("body ran"); },
               false, false}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(TaskRunner, TaskRunningIsSetOnTheMainThreadAtCreation) {
  // The stopped task skips its body, so only the constructor can have set the
  // flag; the notice cannot clear it before this thread pumps.
  ASSERT_FALSE(TaskRunning.load());
  new ProbeTask(
      host_, clock_, [](ProbeTask&) {}, kUpload, true);
  EXPECT_TRUE(TaskRunning.load());
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_FALSE(TaskRunning.load());
}

TEST_F(TaskRunner, BodyRunsOnItsOwnNamedThreadAfterConstructionCompleted) {
  for (const Kind kind : {kUpload, kDownload}) {
    std::string name;
    bool sawConstructed = false;
    bool sawRunning = false;
    std::thread::id bodyThread;
    new ProbeTask(
        host_, clock_,
        [&](ProbeTask& t) {
          name = CurrentThreadName();
          sawConstructed = t.Constructed();
          sawRunning = TaskRunning.load();
          bodyThread = std::this_thread::get_id();
        },
        kind);
    ASSERT_TRUE(host_.RunUntilTaskEnds());
    EXPECT_EQ(name, kind.threadName);
    EXPECT_TRUE(sawConstructed);
    EXPECT_TRUE(sawRunning);
    EXPECT_NE(bodyThread, std::this_thread::get_id());
  }
}

TEST_F(TaskRunner, ANewTaskStartsAfterTheLastOneEnded) {
  std::atomic<int> bodies{0};
  for (int i = 0; i < 3; ++i) {
    ASSERT_FALSE(TaskRunning.load());
    new ProbeTask(host_, clock_, [&](ProbeTask& t) { t.Log("body " + std::to_string(++bodies)); });
    ASSERT_TRUE(host_.RunUntilTaskEnds());
  }
  EXPECT_EQ(bodies.load(), 3);
  EXPECT_EQ(host_.Log(), (std::vector<std::string>{"body 1", "Upload task terminated!!!", "body 2",
                                                   "Upload task terminated!!!", "body 3",
                                                   "Upload task terminated!!!"}));
}

// --- The image file handle is closed exactly once.

class ImageFileClosing : public TaskRunner, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    TaskRunner::SetUp();
    path_ = testing::TempDir() + "runner_image_" + std::to_string(::getpid()) +
            (GetParam() ? "_a" : "_b");
    std::ofstream(path_) << "image";
  }
  void TearDown() override {
    TaskRunner::TearDown();
    std::filesystem::remove(path_);
  }
  std::string path_;
};

TEST_P(ImageFileClosing, ClosedByTheBodyOrElseByTheNotice) {
  const bool bodyCloses = GetParam();
  const int closesBefore = ::TheImageFile().CloseCount();
  bool openedInBody = false;
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    openedInBody = t.TheImageFile().Open(path_);
    if (bodyCloses) {
      t.TheImageFile().Close();
      t.TheImageFile().Close();  // a second close does nothing
    }
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  ASSERT_TRUE(openedInBody);
  EXPECT_FALSE(::TheImageFile().IsOpen());
  EXPECT_EQ(::TheImageFile().CloseCount(), closesBefore + 1);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Runner, ImageFileClosing, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "BodyCloses" : "NoticeCloses";
                         });
// clang-format on

TEST_F(TaskRunner, NoticeClosesNothingWhenNoFileWasOpened) {
  const int closesBefore = ::TheImageFile().CloseCount();
  new ProbeTask(host_, clock_, [](ProbeTask&) {});
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_EQ(::TheImageFile().CloseCount(), closesBefore);
}

// --- The whole-second wait.

TEST_F(TaskRunner, AWaitingByteWinsOverAStopRequest) {
  ByteWaiting();
  ProbeTask::WaitOutcome outcome{};
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    t.RequestStop();
    outcome = t.WaitSeconds(5);
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_EQ(outcome, ProbeTask::WaitOutcome::ByteReady);
}

TEST_F(TaskRunner, AStopRequestEndsTheWaitBeforeTheClockIsLookedAt) {
  ProbeTask::WaitOutcome outcome{};
  int64_t elapsed = -1;
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    t.RequestStop();
    const int64_t start = clock_.NowMilliseconds();
    clock_.Advance(3600s);  // a clock long past any limit still loses to the stop
    outcome = t.WaitSeconds(5);
    elapsed = clock_.NowMilliseconds() - start;
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_EQ(outcome, ProbeTask::WaitOutcome::StopRequested);
  EXPECT_EQ(elapsed, 3600 * 1000);  // no slice was waited
}

TEST_F(TaskRunner, TheWaitTakesNoByte) {
  ByteWaiting();
  bool stillReady = false;
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    t.WaitSeconds(5);
    stillReady = t.Port().CharReady();
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_TRUE(stillReady);
}

// A wait of N seconds gives up once the whole-second clock is past start + N:
// a little more than N seconds when it starts just before a whole second,
// nearly N + 1 when it starts just after one.
struct TimeOutRow {
  int limitSeconds;
  int startWithinSecondMs;
  int64_t minElapsedMs;  // exclusive
  int64_t maxElapsedMs;  // inclusive
};

class WaitTimeOuts : public TaskRunner, public testing::WithParamInterface<TimeOutRow> {};

TEST_P(WaitTimeOuts, GiveUpPastStartPlusLimitInWholeSeconds) {
  const TimeOutRow row = GetParam();
  const int64_t slice = 50;
  clock_.SetNowMilliseconds(1'700'000'000'000 + row.startWithinSecondMs);
  ProbeTask::WaitOutcome outcome{};
  int64_t elapsed = -1;
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    const int64_t start = clock_.NowMilliseconds();
    outcome = t.WaitSeconds(row.limitSeconds);
    elapsed = clock_.NowMilliseconds() - start;
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_EQ(outcome, ProbeTask::WaitOutcome::TimedOut);
  EXPECT_GT(elapsed, row.minElapsedMs);
  EXPECT_LE(elapsed, row.maxElapsedMs + slice);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Runner, WaitTimeOuts,
                         testing::Values(TimeOutRow{10, 999, 10'000, 10'001},
                                         TimeOutRow{10, 1, 10'950, 10'999},
                                         TimeOutRow{5, 500, 5'450, 5'500},
                                         TimeOutRow{30, 0, 30'950, 31'000},
                                         TimeOutRow{0, 999, 0, 1}));
// clang-format on

TEST_F(TaskRunner, AByteArrivingDuringTheWaitEndsIt) {
  ProbeTask::WaitOutcome outcome{};
  std::atomic<bool> waiting{false};
  host_.onLog = [&](const std::string&) { waiting = true; };
  new ProbeTask(host_, RealTaskClock(), [&](ProbeTask& t) {
    t.Log("waiting");
    outcome = t.WaitSeconds(30);
  });
  ASSERT_TRUE(host_.PumpUntil([&] { return waiting.load(); }));
  pty_.Send(std::string("K"));
  ASSERT_TRUE(host_.RunUntilTaskEnds(10s));  // far below the 30 s limit
  EXPECT_EQ(outcome, ProbeTask::WaitOutcome::ByteReady);
}

TEST_F(TaskRunner, RequestStopWakesAWaitWithoutLimit) {
  ProbeTask* task = nullptr;
  std::atomic<bool> waiting{false};
  ProbeTask::WaitOutcome outcome{};
  host_.onLog = [&](const std::string&) { waiting = true; };
  task = new ProbeTask(host_, RealTaskClock(), [&](ProbeTask& t) {
    t.Log("waiting");
    outcome = t.WaitWithoutLimit();
  });
  ASSERT_TRUE(host_.PumpUntil([&] { return waiting.load(); }));
  ASSERT_TRUE(TaskRunning.load());
  task->RequestStop();  // the task cannot be released before this thread pumps
  ASSERT_TRUE(host_.RunUntilTaskEnds(10s));
  EXPECT_EQ(outcome, ProbeTask::WaitOutcome::StopRequested);
}

// The real clock, with every whole second the task reads from it on record,
// so that a wait's end is judged by the clock the task itself went by.
class SecondsRecordingClock final : public TaskClock {
 public:
  int64_t WholeSeconds() override {
    const int64_t now = RealTaskClock().WholeSeconds();
    read_.push_back(now);
    return now;
  }
  void Pause(TApdCustomComPort& port, std::chrono::milliseconds length) override {
    RealTaskClock().Pause(port, length);
  }
  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    RealTaskClock().WaitForInput(port, slice);
  }
  // Read on the test's thread once the task has ended.
  const std::vector<int64_t>& Read() const { return read_; }

 private:
  std::vector<int64_t> read_;
};

TEST_F(TaskRunner, RealClockTimesOutAtTheFirstWholeSecondPastItsLimit) {
  SecondsRecordingClock clock;
  ProbeTask::WaitOutcome outcome{};
  std::chrono::steady_clock::duration took{};
  new ProbeTask(host_, clock, [&](ProbeTask& t) {
    const auto begin = std::chrono::steady_clock::now();
    outcome = t.WaitSeconds(1);
    took = std::chrono::steady_clock::now() - begin;
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds(10s));
  EXPECT_EQ(outcome, ProbeTask::WaitOutcome::TimedOut);
  EXPECT_GT(took, 1s - 100ms);  // whole seconds: past start + 1 means at least ~1 s
  // The wait looked at the clock between its slices, and gave up on the
  // first second past start + 1 that the clock showed: start + 2.
  const std::vector<int64_t>& read = clock.Read();
  ASSERT_GE(read.size(), 3u);
  EXPECT_EQ(read.back(), read.front() + 2);
  EXPECT_TRUE(std::is_sorted(read.begin(), read.end()));
}

TEST_F(TaskRunner, AWaitOnAClosedPortReportsThePortFailure) {
  port_.SetOpen(false);
  std::string failure;
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    try {
      t.WaitSeconds(5);
    } catch (const EAPDException& e) {
      failure = e.ClassName();
    }
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_EQ(failure, "ECommNotOpen");
}

TEST_F(TaskRunner, FlushBothDiscardsWhatWasReceived) {
  ByteWaiting();
  bool readyAfter = true;
  new ProbeTask(host_, clock_, [&](ProbeTask& t) {
    t.FlushBoth();
    readyAfter = t.Port().CharReady();
  });
  ASSERT_TRUE(host_.RunUntilTaskEnds());
  EXPECT_FALSE(readyAfter);
}

// --- The image file handle on its own.

TEST(ImageFileHandle, OpenReadSeekLengthAndCloseOnce) {
  const std::string path = testing::TempDir() + "image_handle_" + std::to_string(::getpid());
  std::ofstream(path, std::ios::binary) << "0123456789";
  ImageFile file;
  ASSERT_TRUE(file.Open(path));
  EXPECT_EQ(file.Length(), 10);
  ASSERT_TRUE(file.Seek(4));
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
  file.Close();
  file.Close();
  EXPECT_EQ(file.CloseCount(), 1);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Read(buffer, 1), -1);
  EXPECT_EQ(file.Length(), -1);
  std::filesystem::remove(path);
}

TEST(ImageFileHandle, MissingFileDoesNotOpenAndSaysWhy) {
  ImageFile file;
  EXPECT_FALSE(file.Open(testing::TempDir() + "no_such_image_file"));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.LastError().empty());
  file.Close();
  EXPECT_EQ(file.CloseCount(), 0);
}

}  // namespace
