// One port's tile in the station window, big enough to read from two metres:
// its number, the port and its adapter, the state (with the progress bar
// while uploading and the failure text after a FAIL), the unit count and
// when the last unit ended. The background is green while the unit on the
// bench passed and red while it failed (PASS/FAIL, and "replace unit" after
// them), neutral otherwise.
//
// A click selects the tile (it takes the focus); Enter on the selected tile
// asks for the next unit on its port.
//
// GUI thread only.
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

#include "PortMachine.h"

class QLabel;
class TsuiProgressBar;

class PortTile : public QFrame {
  Q_OBJECT

 public:
  // `index`: the port's place in the station (0 for the first; the tile
  // shows index + 1, the key that arms it). `adapter`: the adapter's name,
  // "" when unknown.
  PortTile(size_t index, const QString& adapter, QWidget* parent = nullptr);

  // Shows `view`; labels whose text did not change are left alone.
  void Show(const PortView& view);

  size_t Index() const { return index_; }
  QString PortText() const;
  QString StateText() const;
  QString DetailText() const;  // the failure text, or the last unit's result
  QString UnitsText() const;
  // The tile's background now.
  QColor Background() const { return background_; }
  const TsuiProgressBar* Progress() const { return progress_; }

  static QColor PassColour();
  static QColor FailColour();
  static QColor NeutralColour();

 signals:
  void NextUnitAsked(size_t index);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void SetBackground(const QColor& colour);

  size_t index_;
  QLabel* port_;
  QLabel* state_;
  QLabel* detail_;
  QLabel* units_;
  TsuiProgressBar* progress_;
  QColor background_;
};
