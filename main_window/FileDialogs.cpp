#include "FileDialogs.h"

#include <QFileDialog>

bool TCommonFileDialog::Execute(QWidget* parent) {
  const std::optional<QString> chosen = chooser_ ? chooser_(*this) : ShowDesktopDialog(parent);
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}

QStringList TCommonFileDialog::QtNameFilters() const {
  const QStringList fields = Filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString trimmed = pattern.trimmed();
      if (!trimmed.isEmpty()) patterns << trimmed;
    }
    // Qt reads the patterns from the last bracket pair, so the description
    // may carry its own brackets.
    filters << fields[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return filters;
}

std::optional<QString> TCommonFileDialog::ShowDesktopDialog(QWidget* parent) const {
  QFileDialog dialog(parent, Title);
  dialog.setAcceptMode(kind_ == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  // Without ofFileMustExist a typed name of a file that does not exist is
  // accepted, as the Load command expects.
  dialog.setFileMode((Options & ofFileMustExist) ? QFileDialog::ExistingFile
                                                 : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Options & ofOverwritePrompt));
  dialog.setOption(QFileDialog::ReadOnly, (Options & ofReadOnly) != 0);
  dialog.setSizeGripEnabled((Options & ofEnableSizing) != 0);
  const QStringList filters = QtNameFilters();
  dialog.setNameFilters(filters);
  if (FilterIndex >= 1 && FilterIndex <= filters.size())
    dialog.selectNameFilter(filters[FilterIndex - 1]);
  if (!FileName.isEmpty()) dialog.selectFile(FileName);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.first();
}
