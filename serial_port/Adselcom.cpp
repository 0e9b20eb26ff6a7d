#include "Adselcom.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "Adexcept.h"
#include "PortList.h"

namespace {

constexpr int kClientWidth = 220;
constexpr int kClientHeight = 131;
// The layout's own places: the bevel and the list span 201 pixels from x 8,
// the lines start 10 pixels inside the bevel and must end clear of its
// frame, Cancel ends at the list's end.
constexpr QRect kBevelRect{8, 8, 201, 42};
constexpr QRect kListRect{8, 64, 201, 21};
constexpr QRect kCancelRect{124, 95, 85, 27};
constexpr int kTextInset = 10;
constexpr int kFrameWidth = 2;
constexpr int kFontPixels = 11;
constexpr int kHighestComNumber = 65535;

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans")});
  font.setPixelSize(kFontPixels);
  return font;
}

QString ItemText(const TPortInfo& port) {
  QString text =
      QStringLiteral("COM%1  %2").arg(port.number).arg(QString::fromStdString(port.path));
  if (!port.description.empty())
    text += QStringLiteral("  ") + QString::fromStdString(port.description);
  return text;
}

}  // namespace

TComSelectForm::TComSelectForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("ComSelectForm"));
  setWindowTitle(QStringLiteral("Select Port"));
  setFont(DialogFont());

  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(kBevelRect);

  Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(kBevelRect.left() + kTextInset, 14);
  Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(kBevelRect.left() + kTextInset, 30);

  OkBtn = new QPushButton(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGeometry(8, 95, 85, 27);
  OkBtn->setDefault(true);
  AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
  AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
  AbortBtn->setGeometry(kCancelRect);
  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(AbortBtn, &QPushButton::clicked, this, [this] { done(kAbortResult); });

  // Created after the buttons: the tab order is OK, Cancel, the list.
  PortsComboBox = new QComboBox(this);
  PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
  PortsComboBox->setEditable(false);
  PortsComboBox->setGeometry(kListRect);
  // Items carry the device path; let the drop-down list be wider than the box.
  PortsComboBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

  FitToText();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  FormCreate();
}

void TComSelectForm::FitToText() {
  // The labels size themselves to their text first.
  Label1->adjustSize();
  Label2->adjustSize();
  const int textRight = std::max(Label1->geometry().right(), Label2->geometry().right());
  const int extra = std::max(0, textRight + kFrameWidth - kBevelRect.right());
  Bevel1->setGeometry(kBevelRect.adjusted(0, 0, extra, 0));
  PortsComboBox->setGeometry(kListRect.adjusted(0, 0, extra, 0));
  AbortBtn->setGeometry(kCancelRect.translated(extra, 0));
  setFixedSize(kClientWidth + extra, kClientHeight);
}

void TComSelectForm::FormCreate() {
  PortsComboBox->clear();
  int widest = 0;
  const QFontMetrics metrics(PortsComboBox->font());
  for (const TPortInfo& port : ListPorts()) {
    const QString text = ItemText(port);
    PortsComboBox->addItem(text);
    widest = std::max(widest, metrics.horizontalAdvance(text));
  }
  PortsComboBox->view()->setMinimumWidth(widest + metrics.averageCharWidth() * 2);
  PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
}

uint16_t TComSelectForm::SelectedComNum() const {
  const QString text =
      PortsComboBox->currentIndex() >= 0 ? PortsComboBox->currentText() : QString();
  const QString rest = text.mid(3);
  qsizetype digits = 0;
  while (digits < rest.size() && rest[digits].isDigit() && rest[digits].unicode() < 0x80) ++digits;
  bool ok = digits > 0;
  const uint value = ok ? rest.left(digits).toUInt(&ok) : 0;
  if (!ok || value > kHighestComNumber) {
    const QString shown = digits > 0 ? rest.left(digits) : rest.section(QLatin1Char(' '), 0, 0);
    throw EConvertError("'" + shown.toStdString() + "' is not a valid integer value");
  }
  return static_cast<uint16_t>(value);
}

bool TComSelectForm::IsPortAvailable(uint16_t n) { return n != 0 && ::IsPortAvailable(n); }

std::optional<uint16_t> PromptForComPort() {
  TComSelectForm form;
  if (form.exec() != QDialog::Accepted) return std::nullopt;
  return form.SelectedComNum();
}
