#include "SimLog.h"

namespace stbsim {

void SimLog::Change(const std::function<void(SimRecord&)>& change) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    change(record_);
  }
  changed_.notify_all();
}

void SimLog::ChangeUpload(const std::function<void(UploadRecord&)>& change) {
  Change([&](SimRecord& record) {
    if (record.uploads.empty()) record.uploads.emplace_back();
    change(record.uploads.back());
  });
}

void SimLog::BeginUpload(SimMode mode) {
  Change([&](SimRecord& record) {
    if (record.uploads.size() >= kKeptUploads) record.uploads.erase(record.uploads.begin());
    record.uploads.emplace_back();
    record.uploads.back().mode = mode;
  });
}

void SimLog::Event(const std::string& text) {
  Change([&](SimRecord& record) {
    if (record.events.size() >= kKeptEvents) record.events.erase(record.events.begin());
    record.events.push_back({std::chrono::steady_clock::now(), text});
  });
  if (echo_) echo_(text);
}

SimRecord SimLog::Copy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_;
}

void SimLog::Read(const std::function<void(const SimRecord&)>& reader) const {
  std::lock_guard<std::mutex> lock(mutex_);
  reader(record_);
}

bool SimLog::WaitFor(const std::function<bool(const SimRecord&)>& condition,
                     std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return condition(record_); });
}

}  // namespace stbsim
