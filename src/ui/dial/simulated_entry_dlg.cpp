#include "ui/dial/simulated_entry_dlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/prompter.h"
#include "platform/ras/simulated/simulated_remote_access.h"

namespace tavu {

CSimulatedEntryDlg::CSimulatedEntryDlg(platform::SimulatedRemoteAccess& line, Prompter& prompter,
                                       const std::string& name, QWidget* parent)
    : DarkDialog(parent), line_(line), prompter_(prompter), creating_(name.empty()) {
    setWindowTitle(creating_ ? QStringLiteral("New simulated entry")
                             : QStringLiteral("Simulated entry"));
    name_ = new QLineEdit(QString::fromStdString(name), this);
    name_->setReadOnly(!creating_);
    outcomes_ = new QLineEdit(
        creating_ ? QStringLiteral("connected") : QString::fromStdString(line_.outcomesText(name)),
        this);
    auto* hint = new QLabel(
        QStringLiteral("Outcomes of the dials in turn, the last one repeating: connected, busy, "
                       "no-answer, no-carrier, no-dialtone, hardware-failure, port-unavailable, "
                       "wrong-password or an error number."),
        this);
    hint->setTextFormat(Qt::PlainText);
    hint->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Entry name:"), name_);
    form->addRow(QStringLiteral("Outcomes:"), outcomes_);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CSimulatedEntryDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok_);
    row->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addLayout(row);
    // The hint wraps: the window is as tall as its lines need at the font in use.
    resize(420, std::max(160, heightForWidth(420)));
}

void CSimulatedEntryDlg::accept() {
    const std::string name = name_->text().trimmed().toStdString();
    const std::string outcomes = outcomes_->text().toStdString();
    std::string error;
    // The outcomes are checked on a new entry before it is added, so a refusal adds nothing.
    if (creating_) {
        if (!line_.addEntry(name, error)) {
            prompter_.show(Message{error, "TAVU", Buttons::Ok, Icon::Warning});
            return;
        }
        if (!line_.setOutcomes(name, outcomes, error)) {
            line_.deleteEntry(name);
            prompter_.show(Message{error, "TAVU", Buttons::Ok, Icon::Warning});
            return;
        }
    } else if (!line_.setOutcomes(name, outcomes, error)) {
        prompter_.show(Message{error, "TAVU", Buttons::Ok, Icon::Warning});
        return;
    }
    DarkDialog::accept();
}

int CSimulatedEntryDlg::edit(platform::SimulatedRemoteAccess& line, Prompter& prompter,
                             const std::string& name, QWidget* parent) {
    CSimulatedEntryDlg dlg(line, prompter, name, parent);
    dlg.exec();
    return 0;
}

}  // namespace tavu
