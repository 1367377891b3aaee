#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "core/prompter.h"

namespace tavu {

// Shows real message boxes, modal, with their text as plain text. An empty caption shows the
// application title. Timers keep firing while a box waits, so show() may be entered again from
// inside a box: a request for a box that is already open (same text and caption) returns at once
// without a second box, answering Ok for an OK box and No for a Yes/No box. Different boxes stack.
class QtPrompter final : public Prompter {
  public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}

    Answer show(const Message& message) override;

    // How many boxes this prompter has open now.
    int openCount() const { return static_cast<int>(open_.size()); }

  private:
    QPointer<QWidget> parent_;
    std::vector<std::pair<std::string, std::string>> open_;  // text and caption of open boxes
};

}  // namespace tavu
