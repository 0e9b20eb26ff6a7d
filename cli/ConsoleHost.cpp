#include "ConsoleHost.h"

#include "ProgressBar.h"

namespace {
// Back to the start of the line and erase it.
constexpr const char kEraseLine[] = "\r\033[K";
}  // namespace

ConsoleHost::ConsoleHost(TApdCustomComPort& port, std::string imagePath, std::FILE* out,
                         std::FILE* err, bool drawProgressBar)
    : port_(port),
      imagePath_(std::move(imagePath)),
      out_(out),
      err_(err),
      drawProgressBar_(drawProgressBar) {}

void ConsoleHost::EraseBar() {
  if (!barShown_) return;
  std::fputs(kEraseLine, err_);
  std::fflush(err_);
  barShown_ = false;
}

void ConsoleHost::DrawBar() {
  if (!drawProgressBar_ || !barStarted_) return;
  std::fputs(kEraseLine, err_);
  std::fputs(RenderProgressBar(minimum_, maximum_, position_).c_str(), err_);
  std::fflush(err_);
  barShown_ = true;
}

void ConsoleHost::WriteLine(std::FILE* stream, const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool redraw = barShown_;
  EraseBar();
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
  if (redraw) DrawBar();
}

void ConsoleHost::AppendLog(const std::string& line) { WriteLine(out_, line); }

void ConsoleHost::ChangeBar(const std::function<void()>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  change();
  barStarted_ = true;
  DrawBar();
}

void ConsoleHost::SetProgressPosition(int position) {
  ChangeBar([&] { position_ = position; });
}

void ConsoleHost::SetProgressMin(int minimum) {
  ChangeBar([&] { minimum_ = minimum; });
}

void ConsoleHost::SetProgressMax(int maximum) {
  ChangeBar([&] { maximum_ = maximum; });
}

void ConsoleHost::StepProgressBy(int delta) {
  ChangeBar([&] { position_ += delta; });
}

void ConsoleHost::ShowMessageBox(const std::string& text, const std::string& title) {
  PrintNote(title + ": " + text);
}

void ConsoleHost::PrintNote(const std::string& line) { WriteLine(err_, line); }

void ConsoleHost::TaskEnded(TaskEnd end) {
  std::lock_guard<std::mutex> lock(mutex_);
  outcome_ = end;
}

std::optional<TaskEnd> ConsoleHost::Outcome() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outcome_;
}

void ConsoleHost::ClearProgressBar() {
  std::lock_guard<std::mutex> lock(mutex_);
  EraseBar();
}
