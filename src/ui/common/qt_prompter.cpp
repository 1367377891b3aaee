#include "ui/common/qt_prompter.h"

#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "core/version.h"

namespace tavu {

namespace {

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer QtPrompter::show(const Message& message) {
    const bool yesNo = message.buttons == Buttons::YesNo;
    const Answer refused = yesNo ? Answer::No : Answer::Ok;
    const std::string caption = message.caption.empty() ? std::string(kAppTitle) : message.caption;

    auto key = std::make_pair(message.text, caption);
    if (std::find(open_.begin(), open_.end(), key) != open_.end()) {
        return refused;
    }

    auto* box = new QMessageBox(parent_.data());
    QPointer<QMessageBox> guard(box);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(message.text));
    box->setWindowTitle(QString::fromStdString(caption));
    box->setIcon(boxIcon(message.icon));
    if (yesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }

    open_.push_back(key);
    const int result = box->exec();
    // Boxes opened meanwhile have closed before this exec returned, so ours is the last entry;
    // search anyway to stay right if a box was destroyed out of turn.
    auto it = std::find(open_.rbegin(), open_.rend(), key);
    if (it != open_.rend()) {
        open_.erase(std::next(it).base());
    }
    delete guard.data();  // null when the parent took the box with it

    if (!yesNo) {
        return Answer::Ok;
    }
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace tavu
