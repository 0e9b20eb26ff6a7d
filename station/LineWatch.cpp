#include "LineWatch.h"

#include <stdexcept>
#include <string>

#include "Adport.h"
#include "ComName.h"
#include "UploadPortSettings.h"

LineWatch::LineWatch(std::string port) : portName_(std::move(port)) {}

LineWatch::~LineWatch() { Close(); }

bool LineWatch::TryOpen() {
  if (port_ && port_->Open()) return true;
  auto port = std::make_unique<TApdComPort>();
  UploadPort::ApplyStoredSettings(*port);
  if (const std::optional<uint16_t> number = ComNumberFromName(portName_)) {
    port->SetComNumber(*number);
  } else {
    port->SetDevicePath(portName_);
  }
  UploadPort::ApplyLineSettings(*port);
  try {
    port->SetOpen(true);
    port->FlushInBuffer();
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return false;
  }
  port_ = std::move(port);
  return true;
}

void LineWatch::Close() {
  if (!port_) return;
  try {
    port_->SetOpen(false);
  } catch (const std::exception& e) {
    lastError_ = e.what();
  }
  port_.reset();
}

LineWatch::Report LineWatch::Begin(Mode mode, std::chrono::milliseconds quietFor,
                                   Clock::time_point now) {
  watching_ = true;
  mode_ = mode;
  quietFor_ = quietFor;
  quietSince_ = now;
  if (TryOpen()) {
    missing_ = false;
    return Report::Nothing;
  }
  missing_ = true;
  nextTry_ = now + kAdapterRetry;
  return Report::Missing;
}

LineWatch::Report LineWatch::Poll(Clock::time_point now) {
  if (!watching_) return Report::Nothing;
  if (missing_) {
    if (now < nextTry_) return Report::Nothing;
    if (!TryOpen()) {
      nextTry_ = now + kAdapterRetry;
      return Report::Nothing;
    }
    missing_ = false;
    quietSince_ = now;
    return Report::Back;
  }
  if (const int failure = port_->LineFailure(); failure != 0) {
    lastError_ = "the line failed (error " + std::to_string(failure) + ")";
    Close();
    missing_ = true;
    nextTry_ = now + kAdapterRetry;
    return Report::Missing;
  }
  if (port_->InBuffUsed() > 0) {
    port_->FlushInBuffer();
    quietSince_ = now;
    if (mode_ == Mode::ForUnit) return Report::Spoke;
    return Report::Nothing;
  }
  if (mode_ == Mode::Quiet && now - quietSince_ >= quietFor_) return Report::Quiet;
  return Report::Nothing;
}

void LineWatch::End() {
  watching_ = false;
  missing_ = false;
  Close();
}
