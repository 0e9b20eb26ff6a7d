// The window's file dialogs: small records of what the dialog is to show
// (title, filter, options) and of what the user chose (FileName), shown with
// the desktop's file dialog by Execute. Tests replace the dialog itself with a
// chooser function.
//
// Threads: owned and used by the GUI thread. FileName is read by an upload task
// only through the window, which asks the GUI thread for it.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Options of a file dialog; a set of these bits.
enum TOpenOption : unsigned {
  ofReadOnly = 1u << 0,
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofNoChangeDir = 1u << 3,
  ofShowHelp = 1u << 4,
  ofNoValidate = 1u << 5,
  ofAllowMultiSelect = 1u << 6,
  ofExtensionDifferent = 1u << 7,
  ofPathMustExist = 1u << 8,
  ofFileMustExist = 1u << 9,
  ofCreatePrompt = 1u << 10,
  ofShareAware = 1u << 11,
  ofNoReadOnlyReturn = 1u << 12,
  ofNoTestFileCreate = 1u << 13,
  ofNoNetworkButton = 1u << 14,
  ofNoLongNames = 1u << 15,
  ofOldStyleDialog = 1u << 16,
  ofNoDereferenceLinks = 1u << 17,
  ofEnableIncludeNotify = 1u << 18,
  ofEnableSizing = 1u << 19,
  ofDontAddToRecent = 1u << 20,
  ofForceShowHidden = 1u << 21,
};
using TOpenOptions = unsigned;

class TCommonFileDialog {
 public:
  enum class Kind { Open, Save };

  // Shows the dialog and returns the chosen path, or nothing on cancel. Gets
  // the dialog's settings as they stand.
  using Chooser = std::function<std::optional<QString>(const TCommonFileDialog&)>;

  explicit TCommonFileDialog(Kind kind) : kind_(kind) {}
  virtual ~TCommonFileDialog() = default;

  Kind DialogKind() const { return kind_; }

  QString FileName;
  QString Title;
  TOpenOptions Options = ofHideReadOnly | ofEnableSizing;
  // "description|patterns|description|patterns...", patterns split by ';'.
  QString Filter;
  int FilterIndex = 1;  // 1-based entry of Filter shown first

  // Modal. On OK stores the chosen path in FileName and returns true; on
  // cancel returns false and leaves FileName as it was. Uses the chooser set
  // with SetChooser, else the desktop's file dialog (parented to `parent`).
  bool Execute(QWidget* parent = nullptr);

  // Replaces the desktop dialog (tests). An empty function restores it.
  void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

  // Filter turned into Qt's "description (pattern pattern)" entries.
  QStringList QtNameFilters() const;

 private:
  std::optional<QString> ShowDesktopDialog(QWidget* parent) const;

  Kind kind_;
  Chooser chooser_;
};

class TOpenDialog : public TCommonFileDialog {
 public:
  TOpenDialog() : TCommonFileDialog(Kind::Open) {}
};

class TSaveDialog : public TCommonFileDialog {
 public:
  TSaveDialog() : TCommonFileDialog(Kind::Save) {}
};
