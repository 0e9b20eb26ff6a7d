// The main window: the tool's only window, its three commands (Connect or
// Disconnect, Load, Send) and the state of the unit that the commands share.
//
// Threads: TForm1 lives on the GUI thread, which runs the commands, the
// dialogs and the tasks' termination notices. An upload task reaches the
// window through its TaskHost side from its own thread; each of those calls is
// carried to the GUI thread and has taken effect there when it returns (see
// TaskHost.h). Port() hands the task the port itself; the port's own contract
// (Adport.h) covers that thread.
//
// Ending: Disconnect asks a running task to stop and closes the port; the
// port's close never releases the engine under an operation in progress, and
// the GUI thread keeps attending to the task's calls while it waits, so a task
// that waits for the GUI cannot deadlock it. Closing (or destroying) the
// window while a task runs asks the task to stop, closes the port, dismisses
// the task's open box and keeps handling events until the task's termination
// notice has run; only then is the port destroyed.
#pragma once

#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Adport.h"
#include "FileDialogs.h"
#include "MemoryStream.h"
#include "TaskHost.h"
#include "Unit2.h"
#include "UploadStory.h"

class QAction;
class TsuiBuiltInFileTheme;
class TsuiButton;
class TsuiEdit;
class TsuiForm;
class TsuiImagePanel;
class TsuiMemo;
class TsuiProgressBar;
class TsuiURLLabel;

class TForm1 : public QWidget, public TaskHost {
  Q_OBJECT

 public:
  // Builds the window from its layout (member states as at start), installs
  // the port prompt, the engine failure report and the close pump, and runs
  // ChangeOptions.
  explicit TForm1(QWidget* parent = nullptr);
  // Brings a running task to its end first (see Ending above).
  ~TForm1() override;

  // Members in the order of the stored layout. The window owns them all.
  TsuiForm* suiForm1;
  TSaveDialog* SaveDialog1;  // no command uses it
  TOpenDialog* OpenDialog1;  // FileName: the chosen image path
  TsuiBuiltInFileTheme* suiBuiltInFileTheme1;
  TsuiProgressBar* ProgressBar1;
  TsuiButton* SpeedButton1;  // Connect / Disconnect
  TsuiButton* SpeedButton5;  // Load
  TsuiButton* SpeedButton2;  // Send
  TsuiMemo* Memo1;           // status log
  TsuiURLLabel* suiURLLabel1;
  TsuiImagePanel* suiImagePanel1;
  TApdComPort* ApdComPort1;
  TsuiEdit* suiEdit1;  // the chosen path, read-only
  // "Fast DSP transfer" in the title bar's window menu, before "&Close":
  // checked, Send starts a DSP upload with the fast transfer. Its state is
  // remembered between runs (FastTransferSetting.h).
  QAction* FastDspTransferItem;
  // "Record uploads..." below it: checked, every upload that Send starts
  // appends its row to the CSV record (UploadRecord.h). Turning it on asks
  // for the file (RecordDialog); the choice and the file are remembered
  // between runs (RecordSetting.h).
  QAction* RecordUploadsItem;
  TSaveDialog* RecordDialog;

  // The commands, as the buttons' clicks run them. None catches: a failure
  // leaves the command at that step and reaches the exception display.
  void SpeedButton1Click(QObject* Sender);  // Connect or Disconnect
  void SpeedButton2Click(QObject* Sender);  // Send
  void ChangeOptions(QObject* Sender);      // window created or activated: nothing to do
  void SpeedButton5Click(QObject* Sender);  // Load

  // --- TaskHost: called from the task's thread (any thread is fine) ---
  TApdCustomComPort& Port() override;
  std::string ChosenPath() override;
  void AppendLog(const std::string& line) override;
  void SetProgressPosition(int position) override;
  void SetProgressMin(int minimum) override;
  void SetProgressMax(int maximum) override;
  void StepProgressBy(int delta) override;
  // A box with no icon that leaves the window usable; only the calling thread
  // waits for its dismissal. While the window closes, boxes count as
  // dismissed at once.
  void ShowMessageBox(const std::string& text, const std::string& title) override;
  void RunOnMainThread(const std::function<void()>& fn) override;
  // On the GUI thread, in the termination notice: the record's row.
  void TaskEnded(TaskEnd end) override;

 signals:
  // GUI thread, after each function that RunOnMainThread ran there (a
  // termination notice among them).
  void MainThreadCallDone();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildLayout();
  void InstallHooks();
  void RemoveHooks();
  // Runs a command as the event loop would: one at a time (a click that
  // arrives while the port closes is dropped), failures to the exception
  // display.
  void RunCommand(const std::function<void()>& command);
  void SetLogText(const QString& text);
  // A task's call: runs `fn` on the GUI thread, in the order the calls came,
  // and waits for it. While Disconnect closes the port the calls wait, so
  // that what the task writes then follows "Port closed".
  void RunTaskCall(const std::function<void()>& fn);
  // GUI thread: runs the task's waiting calls unless they are held.
  void RunTaskCalls();
  // Any other thread's call (an engine thread's failure report): runs `fn` on
  // the GUI thread at its next event and waits for it; never held.
  void RunOnGuiNow(const std::function<void()>& fn);
  // GUI thread: opens a box that does not block the window; `dismissed` runs
  // once when it has gone. Returns at once.
  void OpenWaitingBox(const QString& title, const QString& text, int icon,
                      std::function<void()> dismissed);
  // Any thread but the GUI's: shows a box and waits for its dismissal.
  void ShowBoxAndWait(const QString& title, const QString& text, int icon, bool fromTask);
  void DismissOpenBoxes();
  // Stop a running task, close the port, wait for the termination notice.
  void EndTaskAndPort();
  // The user turned "Record uploads..." on or off.
  void RecordUploadsTriggered(bool on);

  struct TaskCall;
  class TaskCallHold;

  std::mutex taskCallsMutex_;
  std::deque<std::shared_ptr<TaskCall>> taskCalls_;  // guarded by taskCallsMutex_
  int taskCallsHeld_ = 0;                            // GUI thread only

  TThread* runningTask_ = nullptr;  // the task Send started last; valid while TaskRunning
  bool commandRunning_ = false;
  bool closePending_ = false;
  bool closing_ = false;
  int lastBoxId_ = 0;
  std::map<int, std::function<void()>> openBoxes_;  // dismiss functions of open waiting boxes

  // The running upload's story (fed from the task's calls) and the record it
  // goes to ("" when recording was off at Send).
  UploadStory story_;
  std::string taskRecordPath_;
};

// The window, from start-up to exit.
extern TForm1* Form1;

// The last Load chose a path that names an existing file (not a directory).
extern bool FileLoaded;
// The path chosen by the last Load ends in ".DSP" in any letter case.
extern bool IsDspFile;

// The last task of each kind that Send started. A task releases itself when
// it ends, so a handle refers to a live task only while TaskRunning is true.
extern UpThread* UpTaskHandle;
extern UpDspThread* DspTaskHandle;

// The two glyph streams, created in this order before the entry point runs,
// alive until the process ends and never emptied.
extern TMemoryStream ConnectedGlyphStream;
extern TMemoryStream SavedGlyphStream;
