// The event queue that hosts without an event loop (the command-line front
// end, tests) use to run termination notices on their main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "MainThreadQueue.h"

namespace {

using namespace std::chrono_literals;

TEST(MainThreadQueue, FunctionsFromOtherThreadsRunOnTheOwnerInOrderAndTheirCallersWait) {
  MainThreadQueue queue;
  const auto owner = std::this_thread::get_id();
  std::vector<int> order;  // touched on the owner's thread only
  std::atomic<int> returned{0};
  std::thread first([&] {
    queue.RunAndWait([&] {
      EXPECT_EQ(std::this_thread::get_id(), owner);
      order.push_back(1);
    });
    ++returned;
    queue.RunAndWait([&] { order.push_back(2); });
    ++returned;
  });
  EXPECT_TRUE(queue.ProcessUntil([&] { return returned.load() == 2; },
                                 std::chrono::steady_clock::now() + 30s));
  first.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainThreadQueue, OnTheOwnersThreadAFunctionRunsAtOnce) {
  MainThreadQueue queue;
  bool ran = false;
  queue.RunAndWait([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(MainThreadQueue, AnExceptionGoesBackToTheCaller) {
  MainThreadQueue queue;
  std::atomic<bool> caught{false};
  std::thread caller([&] {
    try {
      queue.RunAndWait([] { throw std::runtime_error("from the notice"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  EXPECT_TRUE(
      queue.ProcessUntil([&] { return caught.load(); }, std::chrono::steady_clock::now() + 30s));
  caller.join();
}

TEST(MainThreadQueue, ProcessUntilGivesUpAtItsDeadline) {
  MainThreadQueue queue;
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(queue.ProcessUntil([] { return false; }, begin + 30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 30ms);
}

TEST(MainThreadQueue, NotifyMakesProcessUntilLookAgain) {
  MainThreadQueue queue;
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    flag = true;
    queue.Notify();
  });
  // A recheck far beyond the deadline: only Notify can end the wait in time.
  EXPECT_TRUE(queue.ProcessUntil([&] { return flag.load(); },
                                 std::chrono::steady_clock::now() + 30s, std::chrono::hours(1)));
  setter.join();
}

}  // namespace
