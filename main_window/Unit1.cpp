#include "Unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QMenu>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

#include "Adselcom.h"
#include "BoxPresenter.h"
#include "ComName.h"
#include "ConnectedGlyphData.h"
#include "DspPath.h"
#include "EngineHooks.h"
#include "ExceptionDisplay.h"
#include "FastTransferSetting.h"
#include "GlyphBitmap.h"
#include "ImageAdmission.h"
#include "MainWindowLayout.h"
#include "RecordSetting.h"
#include "TsuiBuiltInFileTheme.h"
#include "TsuiButton.h"
#include "TsuiEdit.h"
#include "TsuiForm.h"
#include "TsuiImagePanel.h"
#include "TsuiMemo.h"
#include "TsuiProgressBar.h"
#include "TsuiURLLabel.h"
#include "UploadPortSettings.h"
#include "UploadRecord.h"
#include "UploadTaskFactory.h"

// Created first, in this order, as the unit starts.
TMemoryStream ConnectedGlyphStream;
TMemoryStream SavedGlyphStream;

TForm1* Form1 = nullptr;
bool FileLoaded = false;
bool IsDspFile = false;
UpThread* UpTaskHandle = nullptr;
UpDspThread* DspTaskHandle = nullptr;

namespace {

const QString kConnectCaption = QStringLiteral(" Connect");
const QString kDisconnectCaption = QStringLiteral(" DisCnct");
const QString kPortOpened = QStringLiteral("Port opened");
const QString kPortClosed = QStringLiteral("Port closed");
const QString kTerminating = QStringLiteral("Terminating Upload task...");
const QString kConnectFirst = QStringLiteral("Please, connect first");
const QString kLoadFirst = QStringLiteral("Please, load a data file first");
const QString kAlreadyRunning = QStringLiteral("Task is already running!!!");
const QString kLoadFilter = QStringLiteral(
    "Zarn files (*.ZARN; *.ZFL; *.DAT; *.ZCN; *.DSP; *.LOGO)| *.zarn; *.zfl; *.dat; *.zcn; *.dsp; *.logo| All files "
    "(*.*)|*.*");
const QString kApplicationErrorTitle = QStringLiteral("Application Error");
const QString kFastDspTransferItem = QStringLiteral("Fast DSP transfer");
const QString kRecordUploadsItem = QStringLiteral("Record uploads...");
const QString kRecordUploadsTitle = QStringLiteral("Record uploads");
const QString kRecordFilter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*");

// How long the window, as it goes, lets an ended task's thread finish
// releasing itself (it touches nothing of the window any more by then).
constexpr std::chrono::milliseconds kTaskReleaseWait{2000};

bool OnGuiThreadNow() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

// A flag that a box's dismissal sets and a worker thread waits for.
struct Dismissal {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;

  void Set() {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return done; });
  }
};

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  BuildLayout();
  InstallHooks();
  ChangeOptions(this);
}

TForm1::~TForm1() {
  EndTaskAndPort();
  DismissOpenBoxes();
  RemoveHooks();
  delete ApdComPort1;
  ApdComPort1 = nullptr;
  delete OpenDialog1;
  delete SaveDialog1;
  delete RecordDialog;
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildLayout() {
  using namespace MainWindowLayout;
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setWindowTitle(ApplicationCaption());
  setFixedSize(kClientSize);
  move(kWindowPosition);
  setFont(WindowFont());

  suiForm1 = new TsuiForm(this);
  suiForm1->setObjectName(QStringLiteral("suiForm1"));
  suiForm1->setGeometry(QRect(QPoint(0, 0), kClientSize));
  suiForm1->SetCaption(ApplicationCaption());
  // The window menu's own items keep their order; the choice sits in a group
  // of its own right above "&Close".
  QMenu* windowMenu = suiForm1->WindowMenu();
  QAction* closeItem = windowMenu->actions().constLast();
  FastDspTransferItem = new QAction(kFastDspTransferItem, windowMenu);
  FastDspTransferItem->setObjectName(QStringLiteral("FastDspTransferItem"));
  FastDspTransferItem->setCheckable(true);
  FastDspTransferItem->setChecked(fast_transfer_setting::Load());
  connect(FastDspTransferItem, &QAction::toggled, this,
          [](bool on) { fast_transfer_setting::Save(on); });
  windowMenu->insertAction(closeItem, FastDspTransferItem);
  RecordDialog = new TSaveDialog;
  RecordDialog->Title = kRecordUploadsTitle;
  RecordDialog->Filter = kRecordFilter;
  // The record is appended to, never overwritten: no overwrite prompt.
  RecordDialog->Options = ofEnableSizing | ofHideReadOnly;
  RecordUploadsItem = new QAction(kRecordUploadsItem, windowMenu);
  RecordUploadsItem->setObjectName(QStringLiteral("RecordUploadsItem"));
  RecordUploadsItem->setCheckable(true);
  RecordUploadsItem->setChecked(record_setting::On());
  connect(RecordUploadsItem, &QAction::triggered, this,
          [this](bool on) { RecordUploadsTriggered(on); });
  windowMenu->insertAction(closeItem, RecordUploadsItem);
  windowMenu->insertSeparator(closeItem);

  SaveDialog1 = new TSaveDialog;
  OpenDialog1 = new TOpenDialog;
  OpenDialog1->Title = QStringLiteral("Open ZARN file");
  OpenDialog1->Options = ofEnableSizing;

  suiBuiltInFileTheme1 = new TsuiBuiltInFileTheme(this);
  suiBuiltInFileTheme1->setObjectName(QStringLiteral("suiBuiltInFileTheme1"));

  ProgressBar1 = new TsuiProgressBar(suiForm1);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(kProgressBarRect);
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(100);
  ProgressBar1->SetPosition(0);

  auto makeButton = [this](const char* name, const QRect& rect, const QString& caption,
                           const QString& glyph) {
    auto* button = new TsuiButton(suiForm1);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    button->setFont(ButtonFont());
    button->setText(caption);
    button->SetGlyph(LoadGlyphResource(glyph));
    return button;
  };
  SpeedButton1 = makeButton("SpeedButton1", kConnectButtonRect, kConnectCaption, kConnectGlyph);
  SpeedButton5 =
      makeButton("SpeedButton5", kLoadButtonRect, QStringLiteral(" Load   "), kLoadGlyph);
  SpeedButton2 =
      makeButton("SpeedButton2", kSendButtonRect, QStringLiteral(" Send   "), kSendGlyph);

  Memo1 = new TsuiMemo(suiForm1);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(kMemoRect);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->clear();

  suiURLLabel1 = new TsuiURLLabel(suiForm1);
  suiURLLabel1->setObjectName(QStringLiteral("suiURLLabel1"));
  suiURLLabel1->setGeometry(kUrlLabelRect);
  suiURLLabel1->setText(kCreditText);
  suiURLLabel1->SetURL(kCreditUrl);
  suiURLLabel1->setCursor(Qt::PointingHandCursor);

  suiImagePanel1 = new TsuiImagePanel(suiForm1);
  suiImagePanel1->setObjectName(QStringLiteral("suiImagePanel1"));
  suiImagePanel1->setGeometry(kBannerRect);
  suiImagePanel1->SetPicture(LoadBanner());

  ApdComPort1 = new TApdComPort;
  UploadPort::ApplyStoredSettings(*ApdComPort1);

  suiEdit1 = new TsuiEdit(suiForm1);
  suiEdit1->setObjectName(QStringLiteral("suiEdit1"));
  suiEdit1->setGeometry(kPathEditRect);
  suiEdit1->setReadOnly(true);
  suiEdit1->setText(QStringLiteral("file name..."));

  setTabOrder(SpeedButton1, SpeedButton5);
  setTabOrder(SpeedButton5, SpeedButton2);
  setTabOrder(SpeedButton2, Memo1);
  setTabOrder(Memo1, suiImagePanel1);
  setTabOrder(suiImagePanel1, suiEdit1);

  connect(SpeedButton1, &TsuiButton::clicked, this,
          [this] { RunCommand([this] { SpeedButton1Click(SpeedButton1); }); });
  connect(SpeedButton5, &TsuiButton::clicked, this,
          [this] { RunCommand([this] { SpeedButton5Click(SpeedButton5); }); });
  connect(SpeedButton2, &TsuiButton::clicked, this,
          [this] { RunCommand([this] { SpeedButton2Click(SpeedButton2); }); });
}

void TForm1::InstallHooks() {
  SetPortPromptHook([] { return PromptForComPort(); });
  SetThreadFailureReporter([this](const std::string& exceptionClass, const std::string& message) {
    const QString text = QString::fromStdString(exceptionClass) + QStringLiteral(": ") +
                         ExceptionDisplayText(QString::fromStdString(message));
    if (OnGuiThreadNow()) {
      Boxes().ShowModal(nullptr, kApplicationErrorTitle, text, BoxIcon::Stop);
    } else {
      ShowBoxAndWait(kApplicationErrorTitle, text, static_cast<int>(BoxIcon::Stop), false);
    }
  });
  // While the port closes, the GUI thread keeps painting and serving the
  // engine's failure boxes (their OK can be clicked). Clicks on the window
  // meanwhile are dropped by RunCommand; a task's calls wait for the command
  // to return (TaskCallHold).
  SetCloseWaitPump([] {
    if (OnGuiThreadNow()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  });
}

void TForm1::RemoveHooks() {
  SetPortPromptHook(nullptr);
  SetThreadFailureReporter(nullptr);
  SetCloseWaitPump(nullptr);
}

void TForm1::RunCommand(const std::function<void()>& command) {
  if (commandRunning_ || closing_) return;
  commandRunning_ = true;
  RunGuarded(command);
  commandRunning_ = false;
  RunTaskCalls();
  if (closePending_) {
    closePending_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TForm1::SetLogText(const QString& text) { Memo1->setPlainText(text); }

// --- commands ---

// Keeps the task's calls waiting in their queue while it lives; they run,
// in order, once the command that holds them has returned.
class TForm1::TaskCallHold {
 public:
  explicit TaskCallHold(TForm1& form) : form_(form) { ++form_.taskCallsHeld_; }
  ~TaskCallHold() {
    if (--form_.taskCallsHeld_ == 0)
      QMetaObject::invokeMethod(&form_, &TForm1::RunTaskCalls, Qt::QueuedConnection);
  }
  TaskCallHold(const TaskCallHold&) = delete;
  TaskCallHold& operator=(const TaskCallHold&) = delete;

 private:
  TForm1& form_;
};

void TForm1::SpeedButton1Click(QObject* /*Sender*/) {
  Memo1->clear();
  if (ApdComPort1->Open()) {
    // What a task writes while the port closes comes after "Port closed".
    const TaskCallHold hold(*this);
    if (TaskRunning) {
      SetLogText(kTerminating);
      if (runningTask_ != nullptr) runningTask_->RequestStop();
    }
    ApdComPort1->SetOpen(false);
    SetLogText(kPortClosed);
    SavedGlyphStream.SetPosition(0);
    SpeedButton1->SetGlyph(LoadBitmapFromStream(SavedGlyphStream));
    SpeedButton1->setText(kConnectCaption);
    return;
  }
  ApdComPort1->SetComNumber(0);
  UploadPort::ApplyLineSettings(*ApdComPort1);
  ApdComPort1->SetOpen(true);
  SetLogText(kPortOpened);
  SaveBitmapToStream(SpeedButton1->Glyph(), SavedGlyphStream);
  ConnectedGlyphStream.Write(ConnectedGlyphData, sizeof ConnectedGlyphData);
  ConnectedGlyphStream.SetPosition(0);
  SpeedButton1->SetGlyph(LoadBitmapFromStream(ConnectedGlyphStream));
  SpeedButton1->setText(kDisconnectCaption);
  ApdComPort1->FlushInBuffer();
  ApdComPort1->FlushOutBuffer();
}

void TForm1::SpeedButton2Click(QObject* /*Sender*/) {
  Memo1->clear();
  if (!ApdComPort1->Open()) {
    SetLogText(kConnectFirst);
    return;
  }
  if (!FileLoaded) {
    SetLogText(kLoadFirst);
    return;
  }
  if (TaskRunning) {
    SetLogText(kAlreadyRunning);
    return;
  }
  const bool recording = RecordUploadsItem->isChecked();
  taskRecordPath_ = recording ? record_setting::File().toStdString() : std::string();
  const std::string port = ApdComPort1->DevicePath().empty() ? ComNameFor(ApdComPort1->ComNumber())
                                                             : ApdComPort1->DevicePath();
  story_.Begin(StartOfUpload(port, OpenDialog1->FileName.toStdString(),
                             IsDspFile ? UploadProtocol::Dsp : UploadProtocol::Zarn,
                             IsDspFile && FastDspTransferItem->isChecked(), recording));
  const StartedUpload started =
      StartUploadTask(*this, IsDspFile ? UploadProtocol::Dsp : UploadProtocol::Zarn,
                      FastDspTransferItem->isChecked());
  if (started.dspTask != nullptr) {
    DspTaskHandle = started.dspTask;
  } else {
    UpTaskHandle = started.zarnTask;
  }
  runningTask_ = started.Task();
}

void TForm1::ChangeOptions(QObject* /*Sender*/) {}

void TForm1::SpeedButton5Click(QObject* /*Sender*/) {
  FileLoaded = false;
  IsDspFile = false;
  OpenDialog1->Options = ofEnableSizing;
  OpenDialog1->Filter = kLoadFilter;
  OpenDialog1->FilterIndex = 1;
  if (!OpenDialog1->Execute(this)) return;
  const QString path = OpenDialog1->FileName;
  // Load's question of the upload's admission rule: the path names an
  // existing regular file (a directory, a FIFO or a device does not). Whether
  // it can be read is the task's to say, in its box.
  const std::string utf8Path = path.toStdString();
  FileLoaded = NamesRegularFile(utf8Path);
  IsDspFile = ProtocolForPath(utf8Path) == UploadProtocol::Dsp;
  // Shown as the system writes paths (C:\fw\plain.zarn on Windows); the
  // dialog's own form, with '/', is what the tasks get.
  suiEdit1->setText(QDir::toNativeSeparators(path));
}

// --- what the tasks reach ---

void TForm1::RunOnGuiNow(const std::function<void()>& fn) {
  if (OnGuiThreadNow()) {
    fn();
    return;
  }
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      this,
      [&] {
        try {
          fn();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

struct TForm1::TaskCall {
  std::function<void()> fn;
  std::exception_ptr failure;
  Dismissal done;  // set once fn has run
};

void TForm1::RunTaskCall(const std::function<void()>& fn) {
  if (OnGuiThreadNow()) {
    fn();
    return;
  }
  auto call = std::make_shared<TaskCall>();
  call->fn = fn;
  {
    std::lock_guard<std::mutex> lock(taskCallsMutex_);
    taskCalls_.push_back(call);
  }
  QMetaObject::invokeMethod(this, &TForm1::RunTaskCalls, Qt::QueuedConnection);
  call->done.Wait();
  if (call->failure) std::rethrow_exception(call->failure);
}

void TForm1::RunTaskCalls() {
  while (taskCallsHeld_ == 0) {
    std::shared_ptr<TaskCall> call;
    {
      std::lock_guard<std::mutex> lock(taskCallsMutex_);
      if (taskCalls_.empty()) return;
      call = std::move(taskCalls_.front());
      taskCalls_.pop_front();
    }
    try {
      call->fn();
    } catch (...) {
      call->failure = std::current_exception();
    }
    call->done.Set();
  }
}

TApdCustomComPort& TForm1::Port() { return *ApdComPort1; }

std::string TForm1::ChosenPath() {
  std::string path;
  // UTF-8, as the tasks take every path (QFile::encodeName would give the
  // ANSI code page on Windows, where a Cyrillic or CJK name turns into '?').
  RunTaskCall([&] { path = OpenDialog1->FileName.toStdString(); });
  return path;
}

void TForm1::AppendLog(const std::string& line) {
  story_.NoteLine(line);
  const QString text = QString::fromStdString(line);
  RunTaskCall([&] { Memo1->appendPlainText(text); });
}

void TForm1::SetProgressPosition(int position) {
  RunTaskCall([&] { ProgressBar1->SetPosition(position); });
}

void TForm1::SetProgressMin(int minimum) {
  RunTaskCall([&] { ProgressBar1->SetMin(minimum); });
}

void TForm1::SetProgressMax(int maximum) {
  RunTaskCall([&] { ProgressBar1->SetMax(maximum); });
}

void TForm1::StepProgressBy(int delta) {
  story_.NoteStep(delta);
  RunTaskCall([&] { ProgressBar1->StepBy(delta); });
}

void TForm1::ShowMessageBox(const std::string& text, const std::string& title) {
  story_.NoteBox(text);
  const QString qtext = QString::fromStdString(text);
  const QString qtitle = QString::fromStdString(title);
  if (OnGuiThreadNow()) {
    if (!closing_) Boxes().ShowModal(nullptr, qtitle, qtext, BoxIcon::None);
    return;
  }
  ShowBoxAndWait(qtitle, qtext, static_cast<int>(BoxIcon::None), true);
}

void TForm1::RunOnMainThread(const std::function<void()>& fn) {
  std::exception_ptr failure;
  RunTaskCall([&] {
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
    emit MainThreadCallDone();
  });
  if (failure) std::rethrow_exception(failure);
}

void TForm1::TaskEnded(TaskEnd end) {
  story_.NoteEnd(end);
  if (taskRecordPath_.empty()) return;
  const std::string problem = AppendUploadRecord(taskRecordPath_, story_.Summarize());
  if (problem.empty()) return;
  // The notice must not wait for the user: the box only tells.
  OpenWaitingBox(kRecordUploadsTitle, QString::fromStdString(taskRecordPath_ + ": " + problem),
                 static_cast<int>(BoxIcon::Stop), [] {});
}

// --- the record ---

void TForm1::RecordUploadsTriggered(bool on) {
  if (!on) {
    record_setting::Save(false, record_setting::File());
    return;
  }
  RecordDialog->FileName = record_setting::File();
  if (!RecordDialog->Execute(this) || RecordDialog->FileName.isEmpty()) {
    const QSignalBlocker quiet(RecordUploadsItem);
    RecordUploadsItem->setChecked(false);
    return;
  }
  record_setting::Save(true, RecordDialog->FileName);
}

// --- boxes that hold only a worker thread ---

void TForm1::OpenWaitingBox(const QString& title, const QString& text, int icon,
                            std::function<void()> dismissed) {
  if (closing_) {
    dismissed();
    return;
  }
  const int id = ++lastBoxId_;
  openBoxes_[id] = nullptr;
  // The box has no parent: it must not go down with the window before the
  // waiting thread has been released.
  std::function<void()> dismiss =
      Boxes().ShowModeless(nullptr, title, text, static_cast<BoxIcon>(icon), [this, id, dismissed] {
        openBoxes_.erase(id);
        dismissed();
      });
  const auto it = openBoxes_.find(id);
  if (it != openBoxes_.end()) it->second = std::move(dismiss);
}

void TForm1::ShowBoxAndWait(const QString& title, const QString& text, int icon, bool fromTask) {
  auto dismissal = std::make_shared<Dismissal>();
  const auto open = [&] { OpenWaitingBox(title, text, icon, [dismissal] { dismissal->Set(); }); };
  if (fromTask) {
    RunTaskCall(open);
  } else {
    RunOnGuiNow(open);
  }
  dismissal->Wait();
}

void TForm1::DismissOpenBoxes() {
  // Each dismissal removes its own entry; take them out first.
  std::map<int, std::function<void()>> boxes;
  boxes.swap(openBoxes_);
  for (auto& [id, dismiss] : boxes)
    if (dismiss) dismiss();
}

// --- ending ---

void TForm1::EndTaskAndPort() {
  closing_ = true;
  if (TaskRunning && runningTask_ != nullptr) runningTask_->RequestStop();
  DismissOpenBoxes();
  try {
    if (ApdComPort1 != nullptr && ApdComPort1->Open()) ApdComPort1->SetOpen(false);
  } catch (...) {
    // The window is going; a failing close has nobody left to tell.
  }
  while (TaskRunning && runningTask_ != nullptr) {
    QEventLoop loop;
    connect(this, &TForm1::MainThreadCallDone, &loop, &QEventLoop::quit);
    if (!TaskRunning) break;
    loop.exec();
  }
  TThread::WaitUntilAllReleased(kTaskReleaseWait);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (commandRunning_) {
    // A command (a port closing) is still on the stack; close after it.
    closePending_ = true;
    event->ignore();
    return;
  }
  EndTaskAndPort();
  event->accept();
}

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ChangeOptions(this);
}
