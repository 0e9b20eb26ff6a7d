// The application's event loop catch and the exception display.
#include <QEvent>
#include <QTest>
#include <QTimer>

#include <stdexcept>

#include "Adexcept.h"
#include "ExceptionDisplay.h"
#include "MainWindowLayout.h"
#include "RecordingBoxes.h"
#include "TApplication.h"

namespace {

constexpr int kDeadlineMs = 10000;

// An object whose handling of a posted event fails in a chosen way.
class FailingReceiver : public QObject {
 public:
  enum Kind { StdException, SerialException, NotAnException, NoFailure };
  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  struct KindEvent : QEvent {
    explicit KindEvent(Kind k) : QEvent(EventType()), kind(k) {}
    Kind kind;
  };

  bool event(QEvent* e) override {
    if (e->type() != EventType()) return QObject::event(e);
    ++handled;
    switch (static_cast<KindEvent*>(e)->kind) {
      case StdException: throw std::runtime_error("Disk full");
      case SerialException:
        throw ENoPortSelected(ecNoPortSelected,
                              "The ComNumber property of the TApdComPort has not been set");
      case NotAnException: throw 42;
      case NoFailure: break;
    }
    return true;
  }
  int handled = 0;
};

}  // namespace

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    QVERIFY(app != nullptr);
    app->SetTitle(MainWindowLayout::ApplicationCaption());
    QCOMPARE(app->Title(), QStringLiteral("ZARN Multi-Loader V1.20"));
    QCOMPARE(ApplicationTitle(), QStringLiteral("ZARN Multi-Loader V1.20"));
  }

  // "." goes after a message whose last character's code is above that of ".".
  void dotRule_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    // clang-format off
    QTest::newRow("letter") << "Device read error" << "Device read error.";
    QTest::newRow("digit") << "Error 42" << "Error 42.";
    QTest::newRow("slash, just above the dot") << "/dev/ttyS0/" << "/dev/ttyS0/.";
    QTest::newRow("dot") << "Already said." << "Already said.";
    QTest::newRow("exclamation mark") << "Uknown file!!!" << "Uknown file!!!";
    QTest::newRow("closing bracket") << "failed (code 5)" << "failed (code 5)";
    QTest::newRow("hyphen, just below the dot") << "dash-" << "dash-";
    QTest::newRow("blank") << "ends in blank " << "ends in blank ";
    QTest::newRow("quote") << "'' is not a valid integer value" << "'' is not a valid integer value.";
    QTest::newRow("empty") << "" << "";
    // clang-format on
  }
  void dotRule() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ExceptionDisplayText(message), shown);
  }

  // A failure while an event is handled is shown and the loop goes on with
  // the next event.
  void loopShowsFailureAndGoesOn_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("std exception") << int(FailingReceiver::StdException) << "Disk full.";
    QTest::newRow("serial exception")
        << int(FailingReceiver::SerialException)
        << "The ComNumber property of the TApdComPort has not been set.";
    QTest::newRow("not an exception") << int(FailingReceiver::NotAnException) << "";
  }
  void loopShowsFailureAndGoesOn() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    RecordingBoxes boxes;
    FailingReceiver receiver;
    QCoreApplication::postEvent(&receiver,
                                new FailingReceiver::KindEvent(FailingReceiver::Kind(kind)));
    QCoreApplication::postEvent(&receiver,
                                new FailingReceiver::KindEvent(FailingReceiver::NoFailure));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.handled, 2, kDeadlineMs);
    QCOMPARE(boxes.shown.size(), size_t(1));
    const RecordingBoxes::Box& box = boxes.shown.front();
    QCOMPARE(box.title, QStringLiteral("ZARN Multi-Loader V1.20"));
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, BoxIcon::Error);
    QVERIFY(box.modal);
  }

  // A failure inside a nested loop (a timer's handler) does not end the loop.
  void timerFailureInsideNestedLoop() {
    RecordingBoxes boxes;
    QEventLoop loop;
    QTimer::singleShot(0,
                       [] { throw EBadId(ecBadId, "ie_BadId - Specified comport doesn't exist"); });
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    QTimer::singleShot(kDeadlineMs, &loop, [&loop] { loop.exit(1); });
    QCOMPARE(loop.exec(), 0);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown.front().text,
             QStringLiteral("ie_BadId - Specified comport doesn't exist."));
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  AppTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "app_test.moc"
