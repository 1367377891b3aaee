#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/prompter.h"

namespace tavu {

// The title of a box that has none of its own, or the application title: "TAVU".
inline constexpr const char* kBoxTitle = "TAVU";

// Shows real message boxes, modal, with their text as plain text. An empty caption, and the long
// application title, show kBoxTitle. Timers keep firing while a box waits, so show() may be entered
// again from inside a box: a request for a box that is already open (same text and caption) returns
// at once without a second box, answering Ok for an OK box and No for a Yes/No box. Different boxes
// stack.
//
// notify() opens an application-modal box and returns at once, so the timers' work goes on
// behind it; the box closes itself. While a box with the same text and caption is open, no
// second one opens.
class QtPrompter final : public Prompter {
  public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    ~QtPrompter() override;
    QtPrompter(const QtPrompter&) = delete;
    QtPrompter& operator=(const QtPrompter&) = delete;

    Answer show(const Message& message) override;
    void notify(const Message& message) override;

    // How many boxes this prompter has open now.
    int openCount() const { return static_cast<int>(open_->size()); }

  private:
    using Key = std::pair<std::string, std::string>;  // text and caption

    QPointer<QWidget> parent_;
    // Shared with the boxes that notify() left open, which take their key out as they go.
    std::shared_ptr<std::vector<Key>> open_ = std::make_shared<std::vector<Key>>();
    std::vector<QPointer<QWidget>> notices_;
};

// The desktop's file dialog for saving.
class QtFileChooser final : public FileChooser {
  public:
    explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
    std::string saveFileName(const std::string& caption, const std::string& suggested,
                             const std::string& filter) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace tavu
