#include "ui/common/qt_prompter.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
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

// The program's boxes carry its name in one short form, which no title bar cuts.
std::string captionOf(const Message& message) {
    return message.caption.empty() || message.caption == kAppTitle ? std::string(kBoxTitle)
                                                                   : message.caption;
}

QMessageBox* makeBox(const Message& message, QWidget* parent) {
    auto* box = new QMessageBox(parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(message.text));
    box->setWindowTitle(QString::fromStdString(captionOf(message)));
    box->setIcon(boxIcon(message.icon));
    if (message.buttons == Buttons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    return box;
}

template <typename Keys, typename Key>
void removeLast(Keys& keys, const Key& key) {
    auto it = std::find(keys.rbegin(), keys.rend(), key);
    if (it != keys.rend()) {
        keys.erase(std::next(it).base());
    }
}

}  // namespace

QtPrompter::~QtPrompter() {
    for (const QPointer<QWidget>& box : notices_) {
        delete box.data();
    }
}

void QtPrompter::notify(const Message& message) {
    const Key key(message.text, captionOf(message));
    if (std::find(open_->begin(), open_->end(), key) != open_->end()) {
        return;
    }
    QMessageBox* box = makeBox(message, parent_.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    open_->push_back(key);
    QObject::connect(box, &QObject::destroyed, [open = std::weak_ptr(open_), key] {
        if (auto keys = open.lock()) {
            removeLast(*keys, key);
        }
    });
    std::erase_if(notices_, [](const QPointer<QWidget>& p) { return p.isNull(); });
    notices_.emplace_back(box);
    box->show();
}

Answer QtPrompter::show(const Message& message) {
    const bool yesNo = message.buttons == Buttons::YesNo;
    const Answer refused = yesNo ? Answer::No : Answer::Ok;

    const Key key(message.text, captionOf(message));
    if (std::find(open_->begin(), open_->end(), key) != open_->end()) {
        return refused;
    }

    QMessageBox* box = makeBox(message, parent_.data());
    QPointer<QMessageBox> guard(box);
    open_->push_back(key);
    const int result = box->exec();
    // Boxes opened meanwhile may still be open (those of notify); take out the last entry of
    // this box's key.
    removeLast(*open_, key);
    delete guard.data();  // null when the parent took the box with it

    if (!yesNo) {
        return Answer::Ok;
    }
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::string QtFileChooser::saveFileName(const std::string& caption, const std::string& suggested,
                                        const std::string& filter) {
    QString chosenFilter;
    QString name = QFileDialog::getSaveFileName(parent_, QString::fromStdString(caption),
                                                QString::fromStdString(suggested),
                                                QString::fromStdString(filter), &chosenFilter);
    // A name typed without an extension gets the one of the chosen file type.
    static const QRegularExpression extension(QStringLiteral(R"(\(\*\.(\w+)\))"));
    if (const auto m = extension.match(chosenFilter);
        !name.isEmpty() && QFileInfo(name).suffix().isEmpty() && m.hasMatch()) {
        name += QLatin1Char('.') + m.captured(1);
    }
    return name.toStdString();
}

}  // namespace tavu
