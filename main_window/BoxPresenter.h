// How the window puts message boxes on the screen, behind one replaceable
// object so that tests can see and answer every box without a user.
//
// Threads: every call is made on the GUI thread. Boxes that a worker thread
// asks for are brought to the GUI thread by the window first.
#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class BoxIcon { None, Error, Stop };

class BoxPresenter {
 public:
  virtual ~BoxPresenter() = default;

  // Shows a box with one OK button, modal to the whole application, and
  // returns once the user has dismissed it.
  virtual void ShowModal(QWidget* parent, const QString& title, const QString& text,
                         BoxIcon icon) = 0;

  // Shows a box with one OK button that does not block the rest of the
  // application and returns at once. `dismissed` runs on the GUI thread
  // exactly once, when the box has gone (OK, close box, or the returned
  // function). The returned function closes the box if it is still open; it
  // is safe to call at any time, also more than once.
  virtual std::function<void()> ShowModeless(QWidget* parent, const QString& title,
                                             const QString& text, BoxIcon icon,
                                             std::function<void()> dismissed) = 0;
};

// The presenter in use: the desktop's message boxes unless replaced.
BoxPresenter& Boxes();

// Replaces the presenter (tests); nullptr restores the desktop's. The caller
// keeps ownership and must restore before destroying it.
void SetBoxPresenter(BoxPresenter* presenter);
