#include "CampaignHost.h"

namespace campaign {

void CampaignHost::AppendLog(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(line);
}

void CampaignHost::SetProgressPosition(int position) {
  std::lock_guard<std::mutex> lock(mutex_);
  position_ = position;
}

void CampaignHost::SetProgressMax(int maximum) {
  std::lock_guard<std::mutex> lock(mutex_);
  maximum_ = maximum;
}

void CampaignHost::StepProgressBy(int delta) {
  std::lock_guard<std::mutex> lock(mutex_);
  position_ += delta;
  if (position_ < 0 || position_ > maximum_) progressInRange_ = false;
}

void CampaignHost::ShowMessageBox(const std::string& text, const std::string& title) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back({text, title});
}

void CampaignHost::TaskEnded(TaskEnd end) {
  std::lock_guard<std::mutex> lock(mutex_);
  end_ = end;
  endedAt_ = std::chrono::steady_clock::now();
}

std::optional<std::chrono::steady_clock::time_point> CampaignHost::EndedAt() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endedAt_;
}

std::vector<std::string> CampaignHost::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

std::vector<Box> CampaignHost::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::optional<TaskEnd> CampaignHost::End() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return end_;
}

bool CampaignHost::ProgressInRange() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progressInRange_;
}

}  // namespace campaign
