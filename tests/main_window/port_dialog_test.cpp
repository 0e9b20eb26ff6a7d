// The port selection dialog: its layout, what it lists (pseudo-terminals
// linked in the port folder among them), the number it returns and the
// prompt that the port's open sequence uses.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "Adexcept.h"
#include "Adselcom.h"
#include "PortList.h"
#include "PtyPort.h"

namespace {

// Runs `action` on the dialog once it is shown modally.
void WhenDialogShows(std::function<void(TComSelectForm&)> action) {
  QTimer::singleShot(0, [action] {
    if (auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget()))
      action(*form);
  });
}

}  // namespace

class PortDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void layout() {
    PtyPort pty;
    TComSelectForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Select Port"));
    QCOMPARE(form.size(), QSize(220, 131));
    QCOMPARE(form.Bevel1->geometry(), QRect(8, 8, 201, 42));
    QCOMPARE(form.Label1->text(), QStringLiteral("The configured serial port is not valid."));
    QCOMPARE(form.Label1->pos(), QPoint(18, 14));
    QCOMPARE(form.Label2->text(), QStringLiteral("Please choose another port."));
    QCOMPARE(form.Label2->pos(), QPoint(18, 30));
    QCOMPARE(form.PortsComboBox->geometry(), QRect(8, 64, 201, 21));
    QVERIFY(!form.PortsComboBox->isEditable());
    QCOMPARE(form.OkBtn->text(), QStringLiteral("OK"));
    QCOMPARE(form.OkBtn->geometry(), QRect(8, 95, 85, 27));
    QVERIFY(form.OkBtn->isDefault());
    QCOMPARE(form.AbortBtn->text(), QStringLiteral("Cancel"));
    QCOMPARE(form.AbortBtn->geometry(), QRect(124, 95, 85, 27));
    QCOMPARE(form.OkBtn->nextInFocusChain(), form.AbortBtn);
    QCOMPARE(form.AbortBtn->nextInFocusChain(), form.PortsComboBox);
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  }

  // A font that draws the lines wider than the layout (wine's substitute
  // faces cut the first line off at "...is not v") widens the dialog: both
  // lines stay whole inside the bevel, the list and Cancel follow it.
  void widensToItsText() {
    PtyPort pty;
    TComSelectForm form;
    QFont wide = form.font();
    wide.setPixelSize(16);
    form.setFont(wide);
    form.FitToText();
    const QRect bevel = form.Bevel1->geometry();
    for (const QLabel* label : {form.Label1, form.Label2}) {
      QVERIFY2(label->width() >= QFontMetrics(wide).horizontalAdvance(label->text()),
               qPrintable(label->text()));
      QVERIFY2(bevel.contains(label->geometry()), qPrintable(label->text()));
      QVERIFY(form.rect().contains(label->geometry()));
    }
    QVERIFY(form.width() > 220);
    QCOMPARE(bevel.left(), 8);
    QCOMPARE(form.width() - (bevel.right() + 1), 220 - 209);
    QCOMPARE(form.PortsComboBox->geometry(), QRect(8, 64, bevel.width(), 21));
    QCOMPARE(form.AbortBtn->geometry().right(), bevel.right());
    QCOMPARE(form.OkBtn->geometry(), QRect(8, 95, 85, 27));
  }

  // A linked pseudo-terminal is listed with its path; a dangling link is not;
  // the first item is selected.
  void listsLinkedPorts() {
    PtyPort pty(33);
    QVERIFY(pty.Ready());
    const QString dangling = QDir(pty.Folder()).filePath(QStringLiteral("COM34"));
    QVERIFY(symlink("/dev/nonexistent-zarn-tty", dangling.toLocal8Bit().constData()) == 0);
    TComSelectForm form;
    QStringList items;
    for (int i = 0; i < form.PortsComboBox->count(); ++i) items << form.PortsComboBox->itemText(i);
    // The item names the line by its device or by its link.
    const QString device = QString::fromStdString(pty.SlavePath());
    const QString link = QString::fromStdString(pty.LinkPath());
    QVERIFY2(std::any_of(items.begin(), items.end(),
                         [&](const QString& s) {
                           return s.startsWith(QStringLiteral("COM33  ")) &&
                                  (s.contains(device) || s.contains(link));
                         }),
             qPrintable(items.join(QLatin1Char('|'))));
    QVERIFY(std::none_of(items.begin(), items.end(),
                         [](const QString& s) { return s.startsWith(QStringLiteral("COM34")); }));
    QCOMPARE(form.PortsComboBox->currentIndex(), 0);
    QVERIFY(TComSelectForm::IsPortAvailable(33));
    QVERIFY(!TComSelectForm::IsPortAvailable(34));
    QVERIFY(!TComSelectForm::IsPortAvailable(0));
  }

  void selectedComNum_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("error");
    QTest::newRow("USB adapter") << "COM12  /dev/ttyUSB1  FT232R USB UART" << 12 << "";
    QTest::newRow("linked terminal") << "COM31  /dev/pts/4  pseudo-terminal" << 31 << "";
    QTest::newRow("bare name") << "COM7" << 7 << "";
    QTest::newRow("empty list") << "" << 0 << "'' is not a valid integer value";
    QTest::newRow("no digits") << "COMx  /dev/x" << 0 << "'x' is not a valid integer value";
    QTest::newRow("beyond 16 bits") << "COM70000" << 0 << "'70000' is not a valid integer value";
  }
  void selectedComNum() {
    QFETCH(QString, item);
    QFETCH(int, number);
    QFETCH(QString, error);
    PtyPort pty;
    TComSelectForm form;
    form.PortsComboBox->clear();
    if (!item.isEmpty()) form.PortsComboBox->addItem(item);
    if (error.isEmpty()) {
      QCOMPARE(int(form.SelectedComNum()), number);
      return;
    }
    try {
      form.SelectedComNum();
      QFAIL("no exception");
    } catch (const EConvertError& e) {
      QCOMPARE(QString::fromUtf8(e.what()), error);
    }
  }

  void promptOkGivesChosenNumber() {
    PtyPort pty(35);
    QVERIFY(pty.Ready());
    WhenDialogShows([](TComSelectForm& form) {
      const int index = form.PortsComboBox->findText(QStringLiteral("COM35"), Qt::MatchStartsWith);
      form.PortsComboBox->setCurrentIndex(index);
      form.OkBtn->click();
    });
    const std::optional<uint16_t> chosen = PromptForComPort();
    QVERIFY(chosen.has_value());
    QCOMPARE(int(*chosen), 35);
  }

  void promptCancelOrCloseGivesNothing_data() {
    QTest::addColumn<bool>("cancelButton");
    QTest::newRow("Cancel button") << true;
    QTest::newRow("close box") << false;
  }
  void promptCancelOrCloseGivesNothing() {
    QFETCH(bool, cancelButton);
    PtyPort pty;
    WhenDialogShows([cancelButton](TComSelectForm& form) {
      if (cancelButton) {
        form.AbortBtn->click();
      } else {
        form.close();
      }
    });
    QVERIFY(!PromptForComPort().has_value());
  }

  void promptOkOnEmptyListRaisesConvertError() {
    PtyPort pty;
    WhenDialogShows([](TComSelectForm& form) {
      form.PortsComboBox->clear();
      form.OkBtn->click();
    });
    QVERIFY_THROWS_EXCEPTION(EConvertError, PromptForComPort());
  }
};

QTEST_MAIN(PortDialogTest)
#include "port_dialog_test.moc"
