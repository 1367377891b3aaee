#include "ui/modem/messages_dlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <chrono>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/text.h"

namespace tavu {

namespace {

enum Column { DateColumn, SenderColumn, TextColumn };
constexpr int kModemRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

QString dateText(std::int64_t seconds) {
    if (seconds <= 0) {
        return {};
    }
    const LocalDateTime t = toLocal(TimePoint{std::chrono::seconds(seconds)});
    return QString::fromStdString(formatDate(t.day, t.month, t.year) + " " +
                                  formatClock(t.hour, t.minute, t.second));
}

// One line of a text for the list: its line ends become blanks.
QString oneLine(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return s;
}

}  // namespace

CMessagesDlg::CMessagesDlg(platform::ModemService& modem, Prompter& prompter, QWidget* parent)
    : DarkDialog(parent), modem_(modem), prompter_(prompter) {
    setWindowTitle("Messages");
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setColumnCount(3);
    list_->setHeaderLabels({"Date", "Sender", "Text"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setTextElideMode(Qt::ElideRight);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(DateColumn, 140);
    list_->setColumnWidth(SenderColumn, 110);
    layout->addWidget(list_);
    note_ = new QLabel(this);
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    layout->addWidget(note_);
    auto* buttons = new QHBoxLayout;
    delete_ = new QPushButton("&Delete", this);
    auto* close = new QPushButton("Close", this);
    buttons->addStretch();
    buttons->addWidget(delete_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(560, 320);
    reload();
}

void CMessagesDlg::run(platform::ModemService& modem, Prompter& prompter, QWidget* parent) {
    CMessagesDlg dlg(modem, prompter, parent);
    dlg.exec();
}

void CMessagesDlg::reload() {
    ++generation_;
    list_->clear();
    note_->clear();
    const std::vector<platform::ModemInfo> modems =
        modem_.available() ? modem_.modems() : std::vector<platform::ModemInfo>{};
    if (modems.empty()) {
        note_->setText("No modem is present.");
        return;
    }
    QPointer<CMessagesDlg> self(this);
    const int generation = generation_;
    for (const platform::ModemInfo& info : modems) {
        const std::string id = info.id;
        modem_.listMessages(
            id, [self, generation, id](bool ok, const std::vector<platform::ModemMessage>& l,
                                       const std::string& error) {
                if (!self || self->generation_ != generation) {
                    return;
                }
                if (!ok) {
                    self->note_->setText(QString::fromStdString(error));
                    return;
                }
                self->addMessages(id, l);
            });
    }
}

void CMessagesDlg::addMessages(const std::string& modem,
                               const std::vector<platform::ModemMessage>& messages) {
    for (const platform::ModemMessage& m : messages) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(DateColumn, dateText(m.timestamp));
        item->setText(SenderColumn, oneLine(m.sender));
        item->setText(TextColumn, oneLine(m.text));
        item->setData(DateColumn, kModemRole, QString::fromStdString(modem));
        item->setData(DateColumn, kIdRole, QString::fromStdString(m.id));
    }
    if (list_->currentItem() == nullptr && list_->topLevelItemCount() > 0) {
        list_->setCurrentItem(list_->topLevelItem(0));
    }
}

void CMessagesDlg::deleteSelected() {
    const QTreeWidgetItem* item = list_->currentItem();
    if (item == nullptr) {
        return;
    }
    if (prompter_.show(Message{"Delete this message from the modem?", "Are you sure ?",
                               Buttons::YesNo, Icon::Question}) != Answer::Yes) {
        return;
    }
    const std::string modem = item->data(DateColumn, kModemRole).toString().toStdString();
    const std::string id = item->data(DateColumn, kIdRole).toString().toStdString();
    QPointer<CMessagesDlg> self(this);
    modem_.deleteMessage(modem, id, [self](bool ok, const std::string& error) {
        if (!self) {
            return;
        }
        if (!ok) {
            self->prompter_.notify(Message{error, "Messages", Buttons::Ok, Icon::Error});
        }
        self->reload();
    });
}

}  // namespace tavu
