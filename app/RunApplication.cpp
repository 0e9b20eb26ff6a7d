#include "RunApplication.h"

#include <QIcon>

#include <exception>

#include "ExceptionDisplay.h"
#include "MainWindowLayout.h"
#include "RunningMark.h"
#include "TApplication.h"
#include "Unit1.h"
#include "WholeScale.h"

int RunApplication(char* argv0) {
  int argc = 1;
  char* argv[] = {argv0, nullptr};
  sui::UseWholeScaleFactors();  // the layout is in pixels, enlarged by whole factors only
  MarkProgramRunning();         // the installer must not replace files in use
  TApplication application(argc, argv);
  sui::PixelMultiplier::InstallOn(application);
  try {
    application.SetTitle(MainWindowLayout::ApplicationCaption());
    application.setWindowIcon(QIcon(QStringLiteral(":/sui/icon.png")));
    Form1 = new TForm1;
    Form1->show();
    application.exec();
  } catch (...) {
    ShowException(std::current_exception());
  }
  // The window goes before the application: its port and any task it still
  // waits for end while the event machinery exists.
  delete Form1;
  Form1 = nullptr;
  return 0;
}
