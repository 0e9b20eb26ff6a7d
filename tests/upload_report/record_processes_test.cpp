// The record when several processes append to it: eight at once write eight
// whole rows, and a process killed in the middle of its appends leaves every
// earlier row and a file that reads as whole rows. The children are forked
// before any thread starts, do nothing but append, and leave with _exit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "UploadRecord.h"
#include "WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using namespace record_test;

class RecordAppenders : public testing::Test {
 protected:
  std::string Path() const { return folder_.Path() + "/record.csv"; }
  ScratchFolder folder_;
};

constexpr int kAppenders = 8;
// Large rows: a write this size takes the kernel long enough that two
// unlocked appenders would interleave.
constexpr size_t kBigField = 512 * 1024;

std::string Payload(int id) { return std::string(kBigField, static_cast<char>('A' + id)); }

TEST_F(RecordAppenders, EightProcessesAppendingAtOnceWriteEightWholeRows) {
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int id = 0; id < kAppenders; ++id) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      char byte;
      // Every child waits here until the parent closes the pipe: they start
      // together.
      while (read(go[0], &byte, 1) > 0) {
      }
      _exit(AppendRecordRow(Path(), RowOf(std::to_string(id), Payload(id))).empty() ? 0 : 1);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Rows rows = ReadRecord(Path());
  ASSERT_EQ(rows.size(), static_cast<size_t>(kAppenders));
  std::set<std::string> ids;
  for (const Strings& row : rows) {
    ids.insert(row[0]);
    EXPECT_EQ(row[Column("file")], Payload(std::stoi(row[0])));
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(kAppenders));
}

constexpr int kKills = 6;
// Far beyond the time a child needs for a row or two, even on a loaded machine.
constexpr auto kGrowthLimit = 30s;

TEST_F(RecordAppenders, AKilledAppenderLeavesEveryEarlierRowAndTheFileReadable) {
  int rowsBefore = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int n = 0;; ++n) AppendRecordRow(Path(), RowOf("k" + std::to_string(n), Payload(kill)));
    }
    // Killed at a different moment each round: after the file has grown by a
    // row or two, somewhere in the next append.
    const auto grown = [&] {
      std::error_code error;
      const auto size = std::filesystem::file_size(Path(), error);
      return !error && size > (static_cast<uintmax_t>(rowsBefore) + 1 + kill % 2) * kBigField;
    };
    EXPECT_TRUE(WaitUntil(grown, kGrowthLimit));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    // The next writer cuts off whatever the killed one left unfinished.
    ASSERT_EQ(AppendRecordRow(Path(), RowOf("after" + std::to_string(kill))), "");
    const Rows rows = ReadRecord(Path());
    ASSERT_GT(rows.size(), static_cast<size_t>(rowsBefore));
    EXPECT_EQ(rows.back()[0], "after" + std::to_string(kill));
    rowsBefore = static_cast<int>(rows.size());
  }
}

}  // namespace
