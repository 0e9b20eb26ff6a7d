#include "BoxPresenter.h"

#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace {

QMessageBox::Icon ToQtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error:
    case BoxIcon::Stop: return QMessageBox::Critical;
    case BoxIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

class DesktopBoxes final : public BoxPresenter {
 public:
  void ShowModal(QWidget* parent, const QString& title, const QString& text,
                 BoxIcon icon) override {
    QMessageBox box(ToQtIcon(icon), title, text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  }

  std::function<void()> ShowModeless(QWidget* parent, const QString& title, const QString& text,
                                     BoxIcon icon, std::function<void()> dismissed) override {
    auto* box = new QMessageBox(ToQtIcon(icon), title, text, QMessageBox::Ok, parent);
    box->setWindowModality(Qt::NonModal);
    // finished() comes for OK and for the close box; destroyed() covers a box
    // that goes with its parent. The shared flag makes the callback run once.
    auto fired = std::make_shared<bool>(false);
    auto fire = [fired, dismissed = std::move(dismissed)] {
      if (*fired) return;
      *fired = true;
      if (dismissed) dismissed();
    };
    QObject::connect(box, &QDialog::finished, box, fire);
    QObject::connect(box, &QDialog::finished, box, &QObject::deleteLater);
    QObject::connect(box, &QObject::destroyed, fire);
    box->show();
    QPointer<QMessageBox> guard(box);
    return [guard] {
      if (guard) guard->done(QMessageBox::Ok);
    };
  }
};

DesktopBoxes& Desktop() {
  static DesktopBoxes boxes;
  return boxes;
}

BoxPresenter* g_presenter = nullptr;

}  // namespace

BoxPresenter& Boxes() { return g_presenter ? *g_presenter : Desktop(); }

void SetBoxPresenter(BoxPresenter* presenter) { g_presenter = presenter; }
