#include "ui/common/password_dialogs.h"

#include "ui/common/screen_fit.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <string>

#include "core/settings_keys.h"
#include "core/version.h"
#include "platform/desktop/single_instance.h"

namespace tavu {

namespace {

QLineEdit* passwordLineEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel* plainLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// OK and Cancel at the bottom right; OK is the default button.
QHBoxLayout* buttonRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(QObject::tr("OK"), dialog);
    cancel = new QPushButton(QObject::tr("Cancel"), dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

std::string typed(const QLineEdit* edit) {
    return edit->text().toStdString();
}

}  // namespace

CPasswordDlg::CPasswordDlg(SettingsStore& settings, Prompter& prompter, QWidget* parent)
    : DarkDialog(parent), settings_(settings), prompter_(prompter) {
    setWindowTitle(QString::fromUtf8(kPasswordTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainLabel(kPasswordPrompt, this));
    auto* row = new QHBoxLayout;
    row->addWidget(plainLabel(kPasswordLabel, this));
    edit_ = passwordLineEdit(this);
    row->addWidget(edit_, 1);
    layout->addLayout(row);
    layout->addLayout(buttonRow(this, ok_, cancel_));
    edit_->setFocus();
    roomForTitle(this);
}

void CPasswordDlg::accept() {
    const std::string stored = settings_.readString(keys::kSecurity, keys::kPassword, "");
    if (typed(edit_) != stored) {
        prompter_.show({kPasswordIncorrect, kAppTitle, Buttons::Ok, Icon::None});
        edit_->setFocus();
        edit_->selectAll();
        return;
    }
    DarkDialog::accept();
}

CSecurityDlg::CSecurityDlg(SettingsStore& settings, Prompter& prompter, QWidget* parent)
    : DarkDialog(parent), settings_(settings), prompter_(prompter) {
    setWindowTitle(QString::fromUtf8(kSecurityTitle));
    auto* layout = new QVBoxLayout(this);

    enable_ = new QCheckBox(QString::fromUtf8(kSecurityEnable), this);
    layout->addWidget(enable_);

    // One exclusive group; it starts with neither chosen when the settings say so.
    whenStarting_ = new QRadioButton(QString::fromUtf8(kSecurityWhenStarting), this);
    whenConfiguring_ = new QRadioButton(QString::fromUtf8(kSecurityWhenConfiguring), this);
    auto* group = new QButtonGroup(this);
    group->addButton(whenStarting_);
    group->addButton(whenConfiguring_);
    layout->addWidget(whenStarting_);
    layout->addWidget(whenConfiguring_);

    auto* grid = new QGridLayout;
    password_ = passwordLineEdit(this);
    confirm_ = passwordLineEdit(this);
    grid->addWidget(plainLabel(kPasswordLabel, this), 0, 0);
    grid->addWidget(password_, 0, 1);
    grid->addWidget(plainLabel("Confirm password:", this), 1, 0);
    grid->addWidget(confirm_, 1, 1);
    layout->addLayout(grid);
    layout->addLayout(buttonRow(this, ok_, cancel_));

    load();
}

void CSecurityDlg::load() {
    enable_->setChecked(settings_.readInt(keys::kSecurity, keys::kEnabled, 0) != 0);
    whenStarting_->setChecked(settings_.readInt(keys::kSecurity, keys::kWhenStarted, 0) != 0);
    whenConfiguring_->setChecked(settings_.readInt(keys::kSecurity, keys::kWhenConfigured, 0) != 0);
    const QString stored =
        QString::fromStdString(settings_.readString(keys::kSecurity, keys::kPassword, ""));
    password_->setText(stored);
    confirm_->setText(stored);
}

void CSecurityDlg::refuse(const char* text) {
    prompter_.show({text, kAppTitle, Buttons::Ok, Icon::None});
}

void CSecurityDlg::accept() {
    const bool enabled = enable_->isChecked();
    const std::string first = typed(password_);
    const std::string second = typed(confirm_);
    if (enabled) {
        if (first.empty() && second.empty()) {
            refuse(kSecurityEnterPasswords);
            return;
        }
        if (first != second) {
            refuse(kSecurityMismatch);
            return;
        }
        // Protection that never asks protects nothing.
        if (!whenStarting_->isChecked() && !whenConfiguring_->isChecked()) {
            refuse(kSecurityChooseWhen);
            return;
        }
    }
    // The dialog closes: only now are the switches stored, so that a refused OK followed by
    // Cancel leaves the settings as they were.
    settings_.writeInt(keys::kSecurity, keys::kEnabled, enabled ? 1 : 0);
    settings_.writeInt(keys::kSecurity, keys::kWhenStarted, whenStarting_->isChecked() ? 1 : 0);
    settings_.writeInt(keys::kSecurity, keys::kWhenConfigured,
                       whenConfiguring_->isChecked() ? 1 : 0);
    if (enabled) {
        settings_.writeString(keys::kSecurity, keys::kPassword, first);
    }
    DarkDialog::accept();
}

bool CSecurityDlg::runSecurityCommand(SettingsStore& settings, Prompter& prompter,
                                      QWidget* parent) {
    if (!configurationGate(settings, prompter, parent)) {
        return false;
    }
    CSecurityDlg dialog(settings, prompter, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool askPassword(SettingsStore& settings, Prompter& prompter, QWidget* parent) {
    CPasswordDlg dialog(settings, prompter, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool configurationGate(SettingsStore& settings, Prompter& prompter, QWidget* parent) {
    if (settings.readInt(keys::kSecurity, keys::kEnabled, 0) != 1 ||
        settings.readInt(keys::kSecurity, keys::kWhenConfigured, 0) != 1) {
        return true;
    }
    return askPassword(settings, prompter, parent);
}

bool startupGate(SettingsStore& settings, Prompter& prompter, QWidget* parent) {
    if (settings.readInt(keys::kSecurity, keys::kEnabled, 0) != 1 ||
        settings.readInt(keys::kSecurity, keys::kWhenStarted, 0) != 1) {
        return true;
    }
    return askPassword(settings, prompter, parent);
}

namespace {

// Brings the open modal window, if any, to the front; true when there was one.
bool raiseModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        return false;
    }
    modal->showNormal();
    modal->raise();
    modal->activateWindow();
    return true;
}

}  // namespace

StartOutcome startSingleCopy(platform::SingleInstance& instance, SettingsStore& settings,
                             Prompter& prompter) {
    // A folder another user owns or may enter would let that user pose as the running copy (or
    // keep a second copy from finding this one): refused.
    if (!instance.placeIsPrivate()) {
        prompter.show(
            Message{instance.notPrivateText().toStdString(), "TAVU", Buttons::Ok, Icon::Error});
        return StartOutcome::Refused;
    }
    if (instance.activateRunning()) {
        return StartOutcome::HandedOver;
    }
    instance.listen();
    QObject guard;  // the prompt's time: activations bring it forward
    QObject::connect(&instance, &platform::SingleInstance::activated, &guard, [] { raiseModal(); });
    return startupGate(settings, prompter, nullptr) ? StartOutcome::Run : StartOutcome::Refused;
}

bool mayComeForward(SettingsStore& settings, Prompter& prompter, bool windowOnScreen) {
    if (qobject_cast<CPasswordDlg*>(QApplication::activeModalWidget()) != nullptr) {
        raiseModal();  // a password is being asked already
        return false;
    }
    return windowOnScreen || startupGate(settings, prompter, nullptr);
}

}  // namespace tavu
