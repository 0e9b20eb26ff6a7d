#include "PortSupervisor.h"

#include <QProcess>
#include <QStringList>

#include "ChildStop.h"
#include "ImageAdmission.h"
#include "UploadRecord.h"
#include "UploadResult.h"
#include "UploadStory.h"

namespace {

// The tail of a child's standard error that is kept: enough for its last
// message, bounded against a child that writes without end.
constexpr qsizetype kErrKept = 4096;
// A standard output line longer than this is no event of zarn-upload's;
// it is cut there and counts as unreadable.
constexpr qsizetype kLineLimit = 1 << 20;
// How long the destructor waits for a killed child to be reaped.
constexpr int kReapLimitMs = 2000;

QString Utf16(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

PortSupervisor::PortSupervisor(const StationConfig& config, std::string port, QObject* parent)
    : QObject(parent), config_(config), machine_(port, config.loop), watch_(port) {
  pollTimer_.setInterval(LineWatch::kWatchPoll);
  connect(&pollTimer_, &QTimer::timeout, this, &PortSupervisor::Poll);
}

PortSupervisor::~PortSupervisor() {
  if (child_ != nullptr) {
    child_->disconnect(this);
    child_->kill();
    child_->waitForFinished(kReapLimitMs);
  }
}

void PortSupervisor::Start() { Run(machine_.Start()); }

void PortSupervisor::NextUnit() { Run(machine_.OnNextUnit()); }

void PortSupervisor::Stop() {
  pollTimer_.stop();
  watch_.End();
  Run(machine_.OnStop());
  Report();
}

void PortSupervisor::Kill() {
  if (child_ != nullptr) child_->kill();
}

void PortSupervisor::Run(PortAction action) {
  switch (action) {
    case PortAction::None: break;
    case PortAction::StartChild:
      pollTimer_.stop();
      watch_.End();
      StartChild();
      break;
    case PortAction::WatchQuiet:
    case PortAction::WatchForUnit: {
      const auto mode =
          action == PortAction::WatchQuiet ? LineWatch::Mode::Quiet : LineWatch::Mode::ForUnit;
      const LineWatch::Report report =
          watch_.Begin(mode, config_.rearmQuiet, LineWatch::Clock::now());
      pollTimer_.start();
      if (report != LineWatch::Report::Nothing) Handle(report);
      break;
    }
    case PortAction::InterruptChild:
      if (child_ != nullptr && !InterruptChild(*child_)) child_->kill();
      break;
  }
  Report();
}

void PortSupervisor::StartChild() {
  child_ = new QProcess(this);
  outPending_.clear();
  errPending_.clear();
  errLastLine_.clear();
  QStringList arguments{"--json"};
  if (!config_.recordPath.empty()) arguments << "--record" << Utf16(config_.recordPath);
  if (config_.fast) arguments << "--fast";
  arguments << "--port" << Utf16(machine_.View().port) << Utf16(config_.imagePath);
  PrepareStoppableChild(*child_);
  connect(child_, &QProcess::readyReadStandardOutput, this, &PortSupervisor::ReadOut);
  connect(child_, &QProcess::readyReadStandardError, this, &PortSupervisor::ReadErr);
  connect(child_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
    ChildEnded({status == QProcess::CrashExit, code, ""});
  });
  connect(child_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    // A child that never ran sends no finished().
    if (error == QProcess::FailedToStart) {
      ChildEnded(
          {true, 0,
           "cannot run " + config_.uploadProgram + ": " + child_->errorString().toStdString()});
    }
  });
  childStartAt_ = std::chrono::system_clock::now();
  childSteadyStart_ = std::chrono::steady_clock::now();
  child_->start(Utf16(config_.uploadProgram), arguments);
}

void PortSupervisor::ReadOut() {
  if (child_ == nullptr) return;
  outPending_ += child_->readAllStandardOutput();
  for (qsizetype end; (end = outPending_.indexOf('\n')) >= 0;) {
    const QByteArray line = outPending_.left(end);
    outPending_.remove(0, end + 1);
    machine_.OnEvent(ParseChildEvent(line.toStdString()));
  }
  if (outPending_.size() > kLineLimit) {
    machine_.OnEvent(ParseChildEvent(outPending_.left(kLineLimit).toStdString()));
    outPending_.clear();
  }
  Report();
}

void PortSupervisor::ReadErr() {
  if (child_ == nullptr) return;
  errPending_ += child_->readAllStandardError();
  if (errPending_.size() > kErrKept) errPending_ = errPending_.right(kErrKept);
  const QList<QByteArray> lines = errPending_.trimmed().split('\n');
  if (!lines.isEmpty()) errLastLine_ = lines.last().trimmed().toStdString();
}

void PortSupervisor::ChildEnded(const ChildExit& ended) {
  if (child_ == nullptr) return;
  ReadOut();
  ReadErr();
  // What is left without a line break is a line too.
  if (!outPending_.isEmpty()) machine_.OnEvent(ParseChildEvent(outPending_.toStdString()));
  outPending_.clear();
  ChildExit exit = ended;
  if (exit.errorText.empty()) exit.errorText = errLastLine_;
  child_->disconnect(this);
  child_->deleteLater();
  child_ = nullptr;
  const PortAction next = machine_.OnChildExit(exit, std::chrono::system_clock::now());
  if (exit.crashed && machine_.StartedWithoutEnd() && machine_.View().state != PortState::Stopped) {
    RecordLostRow(exit);
  }
  Run(next);
  if (machine_.Settled()) emit Settle();
}

// A child that died between its start and its end event wrote no record
// row; the station writes it, so that every unit is accounted for.
void PortSupervisor::RecordLostRow(const ChildExit& exit) {
  if (config_.recordPath.empty()) return;
  const PortView& view = machine_.View();
  UploadSummary summary;
  summary.start = StartOfUpload(view.port, config_.imagePath, ProtocolForPath(config_.imagePath),
                                config_.fast, true);
  summary.start.at = childStartAt_;
  summary.endAt = std::chrono::system_clock::now();
  summary.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - childSteadyStart_).count();
  summary.end = TaskEnd::Early;
  summary.result = UploadResult::Failed;
  summary.exitStatus = kExitEndedEarly;
  summary.boxText = "zarn-upload crashed" + (exit.errorText.empty() ? "" : ": " + exit.errorText);
  summary.lastLine = view.line;
  summary.bytesSent = view.done;
  AppendUploadRecord(config_.recordPath, summary);
}

void PortSupervisor::Poll() {
  const LineWatch::Report report = watch_.Poll(LineWatch::Clock::now());
  if (report != LineWatch::Report::Nothing) Handle(report);
}

void PortSupervisor::Handle(LineWatch::Report report) {
  switch (report) {
    case LineWatch::Report::Nothing: return;
    case LineWatch::Report::Quiet: Run(machine_.OnLineQuiet()); return;
    case LineWatch::Report::Spoke: Run(machine_.OnUnitSpoke()); return;
    case LineWatch::Report::Missing: Run(machine_.OnLineMissing(watch_.LastError())); return;
    case LineWatch::Report::Back: Run(machine_.OnLineBack()); return;
  }
}

void PortSupervisor::Report() { emit Changed(); }
