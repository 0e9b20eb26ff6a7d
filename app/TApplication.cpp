#include "TApplication.h"

#include <QThread>

#include <cstdio>
#include <exception>

#include "ExceptionDisplay.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::SetTitle(const QString& title) {
  SetApplicationTitle(title);
  setApplicationName(title);
}

QString TApplication::Title() const { return ApplicationTitle(); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    if (QThread::currentThread() == thread()) {
      ShowException(failure);
    } else {
      std::fprintf(stderr, "%s\n", qPrintable(ExceptionDisplayText(ExceptionMessage(failure))));
    }
    return false;
  }
}
