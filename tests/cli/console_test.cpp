// zarn-upload's console pieces without a console: how the progress bar is
// taken off the line (as a terminal shows it, with and without escape
// sequences), and the stop that a console event asks for and a close waits
// for. Portable: the Windows tree runs these under wine too.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Adport.h"
#include "BarEraser.h"
#include "ConsoleHost.h"
#include "ConsoleStop.h"
#include "ProgressBar.h"
#include "UploadStory.h"
#include "WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// --- The erasing text on its own.

struct EraseRow {
  BarEraser eraser;
  size_t columns;
  std::string text;
};

void PrintTo(const EraseRow& row, std::ostream* out) {
  *out << (row.eraser == BarEraser::Overwrite ? "Overwrite" : "EscapeSequence") << " over "
       << row.columns;
}

class BarErasing : public testing::TestWithParam<EraseRow> {};

TEST_P(BarErasing, ClearsTheBarsColumnsAndReturnsToTheLineStart) {
  EXPECT_EQ(BarErasingText(GetParam().eraser, GetParam().columns), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, BarErasing,
                         testing::Values(EraseRow{BarEraser::EscapeSequence, 0, "\r\033[K"},
                                         EraseRow{BarEraser::EscapeSequence, 47, "\r\033[K"},
                                         EraseRow{BarEraser::Overwrite, 0, "\r\r"},
                                         EraseRow{BarEraser::Overwrite, 3, "\r   \r"}));

// --- What a terminal shows of the host's standard error.

// A terminal's screen, fed the bytes a program writes: "\r" goes to the line's
// start, "\n" to a new line, other bytes overwrite the cell under the cursor.
// A terminal that takes escape sequences erases the line's rest on "ESC [ K";
// the classic console shows ESC as the arrow glyph and the rest as text.
class ScreenModel {
 public:
  explicit ScreenModel(bool takesEscapes) : takesEscapes_(takesEscapes) {}

  void Feed(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c == '\r') {
        column_ = 0;
      } else if (c == '\n') {
        lines_.emplace_back();
        column_ = 0;
      } else if (c == '\033' && takesEscapes_ && bytes.compare(i, 3, "\033[K") == 0) {
        lines_.back().resize(std::min(lines_.back().size(), column_));
        i += 2;
      } else {
        Put(c == '\033' ? std::string("\xe2\x86\x90") : std::string(1, c));
      }
    }
  }

  // Each line as shown, trailing blanks off (as the eye sees them).
  std::vector<std::string> Lines() const {
    std::vector<std::string> shown;
    for (const std::string& line : lines_) {
      const size_t end = line.find_last_not_of(' ');
      shown.push_back(end == std::string::npos ? "" : line.substr(0, end + 1));
    }
    return shown;
  }

 private:
  void Put(const std::string& glyph) {
    std::string& line = lines_.back();
    if (line.size() < column_ + glyph.size()) line.resize(column_ + glyph.size(), ' ');
    line.replace(column_, glyph.size(), glyph);
    column_ += glyph.size();
  }

  bool takesEscapes_;
  std::vector<std::string> lines_{""};
  size_t column_ = 0;
};

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string bytes;
  for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
  return bytes;
}

struct HostScreenRow {
  const char* name;
  BarEraser eraser;
  bool terminalTakesEscapes;
};

void PrintTo(const HostScreenRow& row, std::ostream* out) { *out << row.name; }

class HostOnTerminal : public testing::TestWithParam<HostScreenRow> {
 protected:
  void TearDown() override {
    std::fclose(out_);
    std::fclose(err_);
  }

  ScreenModel ErrScreen() {
    ScreenModel screen(GetParam().terminalTakesEscapes);
    screen.Feed(Contents(err_));
    return screen;
  }

  TApdComPort port_;
  std::FILE* out_ = std::tmpfile();
  std::FILE* err_ = std::tmpfile();
};

// The bar stands alone on its line, the box texts show whole and clean, and
// the bar is gone at the end; nothing of an escape sequence shows.
TEST_P(HostOnTerminal, BarAndNotesShowCleanly) {
  ASSERT_NE(out_, nullptr);
  ASSERT_NE(err_, nullptr);
  UploadStory story;
  ConsoleHost host(port_, "image.zarn", out_, err_, GetParam().eraser, ConsoleHost::Output::Text,
                   story);
  host.SetProgressMax(100);
  host.SetProgressPosition(75);
  const std::string bar = RenderProgressBar(0, 100, 75);
  EXPECT_EQ(ErrScreen().Lines(), std::vector<std::string>{bar});

  host.AppendLog("a log line");
  host.PrintNote("ab");
  host.StepProgressBy(25);
  EXPECT_EQ(ErrScreen().Lines(), (std::vector<std::string>{"ab", RenderProgressBar(0, 100, 100)}));

  host.ShowMessageBox("Transfer failed", "Error");
  host.ClearProgressBar();
  EXPECT_EQ(ErrScreen().Lines(), (std::vector<std::string>{"ab", "Error: Transfer failed", ""}));
  EXPECT_EQ(Contents(out_), "a log line\n");
}

INSTANTIATE_TEST_SUITE_P(
    Erasers, HostOnTerminal,
    testing::Values(HostScreenRow{"EscapesOnATerminalThatTakesThem", BarEraser::EscapeSequence,
                                  true},
                    HostScreenRow{"SpacesOnTheClassicConsole", BarEraser::Overwrite, false}),
    [](const testing::TestParamInfo<HostScreenRow>& info) { return std::string(info.param.name); });

TEST(HostOffTerminal, DrawsNoBarWithoutAnEraser) {
  TApdComPort port;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  {
    UploadStory story;
    ConsoleHost host(port, "image.zarn", out, err, std::nullopt, ConsoleHost::Output::Text, story);
    host.SetProgressMax(10);
    host.StepProgressBy(5);
    host.PrintNote("note");
    host.ClearProgressBar();
  }
  EXPECT_EQ(Contents(err), "note\n");
  std::fclose(out);
  std::fclose(err);
}

// --- The stop a console event asks for.

TEST(ConsoleStopEvents, FirstInterruptIsTakenAndLaterOnesAreNot) {
  ConsoleStop stop;
  EXPECT_FALSE(stop.Requested());
  EXPECT_TRUE(stop.TakeInterrupt());
  EXPECT_TRUE(stop.Requested());
  EXPECT_FALSE(stop.TakeInterrupt());
}

TEST(ConsoleStopEvents, InterruptAfterACloseIsNotTaken) {
  ConsoleStop stop;
  stop.Finished();
  EXPECT_TRUE(stop.AwaitFinishForClose(0ms));
  EXPECT_FALSE(stop.TakeInterrupt());
}

TEST(ConsoleStopEvents, CloseWaitsForTheStopPathToFinish) {
  ConsoleStop stop;
  bool finishedInTime = false;
  std::thread system([&] { finishedInTime = stop.AwaitFinishForClose(kNeverWaitedOut); });
  ASSERT_TRUE(WaitUntil([&] { return stop.Requested(); }));
  stop.Finished();
  system.join();
  EXPECT_TRUE(finishedInTime);
}

TEST(ConsoleStopEvents, CloseReturnsAtItsLimitWhenTheStopPathHangs) {
  constexpr auto kLimit = 50ms;
  ConsoleStop stop;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(stop.AwaitFinishForClose(kLimit));
  EXPECT_GE(std::chrono::steady_clock::now() - start, kLimit);
  EXPECT_TRUE(stop.Requested());
}

TEST(ConsoleStopEvents, CloseAfterTheStopPathReturnsAtOnce) {
  ConsoleStop stop;
  stop.Finished();
  EXPECT_TRUE(stop.AwaitFinishForClose(kNeverWaitedOut));
}

}  // namespace
