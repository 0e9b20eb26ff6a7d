#include "ExceptionDisplay.h"

#include <QApplication>

#include <stdexcept>

#include "BoxPresenter.h"

namespace {
QString g_title;
}

QString ApplicationTitle() { return g_title; }

void SetApplicationTitle(const QString& title) { g_title = title; }

QString ExceptionDisplayText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + QLatin1Char('.');
  return message;
}

QString ExceptionMessage(const std::exception_ptr& failure) {
  if (!failure) return QString();
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return QString();
}

void ShowException(const std::exception_ptr& failure) {
  Boxes().ShowModal(nullptr, ApplicationTitle(), ExceptionDisplayText(ExceptionMessage(failure)),
                    BoxIcon::Error);
}
