// What one upload showed, collected while it runs, for the JSON end event and
// the record row: the start (port, file and its fingerprint, protocol, fast
// mode, time), the last status-log line before the termination line, the
// last message box, the bytes the STB acknowledged, and how the task ended.
// The window, zarn-upload (and later the station) feed it from their
// TaskHost calls.
//
// Threads: Begin on the front end's main thread before the task starts; the
// Note calls from the task's thread (NoteEnd from the termination notice, on
// the main thread); Summarize from any thread. One mutex guards it all.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "ImageAdmission.h"
#include "TaskHost.h"
#include "UploadResult.h"

struct UploadStart {
  std::string port;  // as the user named it ("COM5", "/dev/ttyUSB0")
  std::string file;  // the image path, UTF-8
  UploadProtocol protocol = UploadProtocol::Zarn;
  bool fast = false;  // the fast DSP transfer
  int64_t size = 0;
  uint32_t crc32 = 0;
  std::string sha256;  // lower-case hex
  std::chrono::system_clock::time_point at;
};

// The start of an upload of `file` on `port`, now; with `fingerprint`, the
// file is read for its size, CRC-32 and SHA-256 (a front end asks only when
// an event or a record will show them).
UploadStart StartOfUpload(std::string port, std::string file, UploadProtocol protocol, bool fast,
                          bool fingerprint);

struct UploadSummary {
  UploadStart start;
  std::chrono::system_clock::time_point endAt;
  double seconds = 0;  // from Begin to the end, on the steady clock
  TaskEnd end = TaskEnd::Early;
  UploadResult result = UploadResult::Failed;
  int exitStatus = kExitEndedEarly;
  std::string boxText;    // the last box's text, "" when none was shown
  std::string lastLine;   // the last status-log line before the termination line
  int64_t bytesSent = 0;  // file bytes the STB acknowledged (the progress bar's steps)
};

class UploadStory {
 public:
  void Begin(UploadStart start);
  void NoteLine(const std::string& line);
  void NoteBox(const std::string& text);
  void NoteStep(int bytes);
  void NoteEnd(TaskEnd end);

  // Ended: NoteEnd has run.
  bool Ended() const;
  UploadSummary Summarize() const;

 private:
  mutable std::mutex mutex_;
  UploadStart start_;
  std::chrono::steady_clock::time_point steadyStart_;
  std::optional<TaskEnd> end_;
  std::chrono::system_clock::time_point endAt_;
  std::chrono::steady_clock::time_point steadyEnd_;
  std::string boxText_;
  std::string lastLine_;
  std::string lineBefore_;
  int64_t bytesSent_ = 0;
};

// "ZARN" or "DSP".
std::string ProtocolName(UploadProtocol protocol);
// A CRC-32 as eight upper-case hex digits ("CBF43926").
std::string Crc32Text(uint32_t crc);
