// A box presenter for tests: records every box instead of showing it.
// Modal boxes count as dismissed at once. Modeless boxes (a task's, an engine
// failure report) stay "open" until the test dismisses them, unless
// autoDismiss is set.
//
// Threads: like every presenter, used on the GUI thread only; the test reads
// it on the same thread.
#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "BoxPresenter.h"

class RecordingBoxes : public BoxPresenter {
 public:
  struct Box {
    QString title;
    QString text;
    BoxIcon icon;
    bool modal;
  };

  RecordingBoxes() { SetBoxPresenter(this); }
  ~RecordingBoxes() override { SetBoxPresenter(nullptr); }

  void ShowModal(QWidget*, const QString& title, const QString& text, BoxIcon icon) override {
    shown.push_back({title, text, icon, true});
  }

  std::function<void()> ShowModeless(QWidget*, const QString& title, const QString& text,
                                     BoxIcon icon, std::function<void()> dismissed) override {
    shown.push_back({title, text, icon, false});
    if (autoDismiss) {
      dismissed();
      return [] {};
    }
    const size_t index = pending.size();
    pending.push_back(std::move(dismissed));
    return [this, index] { DismissPending(index); };
  }

  // Open modeless boxes.
  int OpenCount() const {
    int n = 0;
    for (const auto& d : pending) n += d ? 1 : 0;
    return n;
  }

  // Dismisses every open modeless box, oldest first.
  void DismissAll() {
    for (size_t i = 0; i < pending.size(); ++i) DismissPending(i);
  }

  std::vector<Box> shown;
  bool autoDismiss = false;

 private:
  void DismissPending(size_t index) {
    if (index >= pending.size() || !pending[index]) return;
    auto dismissed = std::move(pending[index]);
    pending[index] = nullptr;
    dismissed();
  }

  std::vector<std::function<void()>> pending;
};
