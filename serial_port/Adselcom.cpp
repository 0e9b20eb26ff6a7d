#include "Adselcom.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>

#include "Adexcept.h"
#include "PortList.h"

namespace {

constexpr int kClientWidth = 220;
constexpr int kClientHeight = 131;
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
  setFixedSize(kClientWidth, kClientHeight);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 201, 42);

  // The labels size themselves to their text, as the substitute font may be
  // wider than the one the layout was made for.
  Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(18, 14);
  Label1->adjustSize();
  Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(18, 30);
  Label2->adjustSize();

  OkBtn = new QPushButton(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGeometry(8, 95, 85, 27);
  OkBtn->setDefault(true);
  AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
  AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
  AbortBtn->setGeometry(124, 95, 85, 27);
  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(AbortBtn, &QPushButton::clicked, this, [this] { done(kAbortResult); });

  // Created after the buttons: the tab order is OK, Cancel, the list.
  PortsComboBox = new QComboBox(this);
  PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
  PortsComboBox->setEditable(false);
  PortsComboBox->setGeometry(8, 64, 201, 21);
  // Items carry the device path; let the drop-down list be wider than the box.
  PortsComboBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));

  FormCreate();
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
