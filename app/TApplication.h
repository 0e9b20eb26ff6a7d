// The application object: Qt's application with the event loop's catch. A
// failure that escapes the handling of any event (a command's included) is
// shown by the exception display, and the loop goes on with the next event.
//
// Threads: GUI thread. notify() may be reached from other threads for events
// sent there; the display is shown only on the GUI thread (elsewhere the
// failure is written to stderr).
#pragma once

#include <QApplication>

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  // The title of the taskbar entry and the caption of every message box.
  void SetTitle(const QString& title);
  QString Title() const;

  bool notify(QObject* receiver, QEvent* event) override;
};
