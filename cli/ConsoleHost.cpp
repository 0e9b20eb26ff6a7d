#include "ConsoleHost.h"

#include "Console.h"
#include "ProgressBar.h"
#include "UploadEvents.h"

ConsoleHost::ConsoleHost(TApdCustomComPort& port, std::string imagePath, std::FILE* out,
                         std::FILE* err, std::optional<BarEraser> barEraser, Output output,
                         UploadStory& story)
    : port_(port),
      imagePath_(std::move(imagePath)),
      out_(out),
      err_(err),
      barEraser_(output == Output::Text ? barEraser : std::nullopt),
      output_(output),
      story_(story) {}

void ConsoleHost::EraseBar() {
  if (!barShown_) return;
  WriteText(err_, BarErasingText(*barEraser_, barColumns_));
  barShown_ = false;
}

void ConsoleHost::DrawBar() {
  if (!barEraser_ || !barStarted_) return;
  const std::string bar = RenderProgressBar(minimum_, maximum_, position_);
  WriteText(err_, BarErasingText(*barEraser_, barShown_ ? barColumns_ : 0) + bar);
  barShown_ = true;
  barColumns_ = bar.size();
}

void ConsoleHost::WriteLine(std::FILE* stream, const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool redraw = barShown_;
  EraseBar();
  WriteText(stream, line + "\n");
  if (redraw) DrawBar();
}

void ConsoleHost::AppendLog(const std::string& line) {
  story_.NoteLine(line);
  WriteLine(out_, output_ == Output::Json ? LogEvent(line) : line);
}

void ConsoleHost::ChangeBar(const std::function<void()>& change, bool report) {
  std::lock_guard<std::mutex> lock(mutex_);
  change();
  barStarted_ = true;
  DrawBar();
  if (report && output_ == Output::Json) {
    WriteText(out_,
              ProgressEvent(int64_t{position_} - minimum_, int64_t{maximum_} - minimum_) + "\n");
  }
}

void ConsoleHost::SetProgressPosition(int position) {
  ChangeBar([&] { position_ = position; });
}

void ConsoleHost::SetProgressMin(int minimum) {
  ChangeBar([&] { minimum_ = minimum; });
}

// The range is set once, before the first packet or block: the progress
// event then says how many bytes are to come.
void ConsoleHost::SetProgressMax(int maximum) {
  ChangeBar([&] { maximum_ = maximum; }, true);
}

void ConsoleHost::StepProgressBy(int delta) {
  story_.NoteStep(delta);
  ChangeBar([&] { position_ += delta; }, true);
}

void ConsoleHost::ShowMessageBox(const std::string& text, const std::string& title) {
  story_.NoteBox(text);
  if (output_ == Output::Json) {
    WriteLine(out_, BoxEvent(title, text));
  } else {
    PrintNote(title + ": " + text);
  }
}

void ConsoleHost::PrintNote(const std::string& line) { WriteLine(err_, line); }

void ConsoleHost::PrintOut(const std::string& line) { WriteLine(out_, line); }

// How the task ended goes into the story, which the end event and the exit
// status read.
void ConsoleHost::TaskEnded(TaskEnd end) { story_.NoteEnd(end); }

void ConsoleHost::ClearProgressBar() {
  std::lock_guard<std::mutex> lock(mutex_);
  EraseBar();
}
