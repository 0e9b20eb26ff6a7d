// The port selection dialog: asked for by the port's open sequence when no
// port number is set. It lists the ports that exist and returns the number of
// the one the user picks.
//
// Threads: GUI thread only (it is a Qt dialog). The serial layer, which knows
// nothing of Qt, reaches it through the prompt hook of Adport.h; the window
// installs PromptForComPort there.
#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

class TComSelectForm : public QDialog {
  Q_OBJECT

 public:
  // Result of the Cancel button (the close box gives QDialog::Rejected).
  static constexpr int kAbortResult = 3;

  // Builds the layout and runs FormCreate, which fills the list.
  explicit TComSelectForm(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Label2;
  QComboBox* PortsComboBox;
  QPushButton* OkBtn;
  QPushButton* AbortBtn;

  // Widens the dialog where its font draws the two lines wider than the
  // layout allows (a substitute face, a larger system font): the bevel
  // keeps its margins around the longer line, the list widens with it and
  // Cancel stays at the right edge. Never narrower than the layout's own
  // 220 pixels. The constructor calls it; call it again after a font change.
  void FitToText();

  // Fills the list with one item per listed port, "COM<n>  <path>" and the
  // description where one is known, and selects the first item.
  void FormCreate();

  // The number in the selected item's text, read from its 4th character up to
  // the first character that is not a digit. Raises EConvertError
  // ("'<text>' is not a valid integer value") when there is no number there,
  // e.g. with an empty list.
  uint16_t SelectedComNum() const;

  // Whether port `n` exists and can be listed (also when another program
  // holds it).
  static bool IsPortAvailable(uint16_t n);
};

// Shows TComSelectForm modally. Returns the chosen number on OK, nothing on
// Cancel or the close box; raises EConvertError when OK is clicked with an
// empty list.
std::optional<uint16_t> PromptForComPort();
