#include "UploadStory.h"

#include <cstdio>

#include "ImageInfo.h"

UploadStart StartOfUpload(std::string port, std::string file, UploadProtocol protocol, bool fast,
                          bool fingerprint) {
  UploadStart start;
  start.port = std::move(port);
  start.file = std::move(file);
  start.protocol = protocol;
  start.fast = fast;
  if (fingerprint) {
    const FileFingerprint print = FingerprintFile(start.file);
    start.size = print.length;
    start.crc32 = print.crc32;
    start.sha256 = print.sha256;
  }
  start.at = std::chrono::system_clock::now();
  return start;
}

void UploadStory::Begin(UploadStart start) {
  std::lock_guard<std::mutex> lock(mutex_);
  start_ = std::move(start);
  steadyStart_ = std::chrono::steady_clock::now();
  end_.reset();
  boxText_.clear();
  lastLine_.clear();
  lineBefore_.clear();
  bytesSent_ = 0;
}

void UploadStory::NoteLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lineBefore_ = std::move(lastLine_);
  lastLine_ = line;
}

void UploadStory::NoteBox(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxText_ = text;
}

void UploadStory::NoteStep(int bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  bytesSent_ += bytes;
}

void UploadStory::NoteEnd(TaskEnd end) {
  std::lock_guard<std::mutex> lock(mutex_);
  end_ = end;
  endAt_ = std::chrono::system_clock::now();
  steadyEnd_ = std::chrono::steady_clock::now();
}

bool UploadStory::Ended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return end_.has_value();
}

UploadSummary UploadStory::Summarize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  UploadSummary summary;
  summary.start = start_;
  summary.end = end_.value_or(TaskEnd::Early);
  summary.result = ResultFor(summary.end);
  summary.exitStatus = ExitStatusFor(summary.end);
  const auto steadyEnd = end_ ? steadyEnd_ : std::chrono::steady_clock::now();
  summary.endAt = end_ ? endAt_ : std::chrono::system_clock::now();
  summary.seconds = std::chrono::duration<double>(steadyEnd - steadyStart_).count();
  summary.boxText = boxText_;
  // Once the task has ended, its termination line is the last line; the
  // line that tells what happened is the one before it.
  summary.lastLine = end_ ? lineBefore_ : lastLine_;
  summary.bytesSent = bytesSent_;
  return summary;
}

std::string ProtocolName(UploadProtocol protocol) {
  return protocol == UploadProtocol::Dsp ? "DSP" : "ZARN";
}

std::string Crc32Text(uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}
