#include "ui/phonebook/entry_editor_dlg.h"

#include <unistd.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ras/pppd/linux_remote_access.h"

namespace tavu {

namespace {

constexpr const char* kCaption = "TAVU";

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

EntryEditorDlg::EntryEditorDlg(platform::DialupPaths paths, std::string name, Prompter& prompter,
                               QWidget* parent, const std::string& devDir)
    : DarkDialog(parent), paths_(std::move(paths)), oldName_(std::move(name)), prompter_(prompter) {
    setWindowTitle(oldName_.empty() ? "New dial-up entry" : q("Dial-up entry " + oldName_));
    name_ = new QLineEdit(this);
    name_->setMaxLength(64);
    number_ = new QLineEdit(this);
    device_ = new QComboBox(this);
    device_->setEditable(true);
    for (const std::string& d : platform::serialDevicesPresent(devDir)) {
        device_->addItem(q(d));
    }
    speed_ = new QComboBox(this);
    speed_->setEditable(true);
    for (const char* s : {"9600", "19200", "38400", "57600", "115200", "230400", "460800"}) {
        speed_->addItem(s);
    }
    init_ = new QLineEdit(this);
    user_ = new QLineEdit(this);

    platform::EntryForm form;
    if (!oldName_.empty()) {
        std::string error;
        if (!platform::readEntryForm(paths_, oldName_, form, error)) {
            loaded_ = false;
            tell(error);
        }
        form.name = oldName_;
    } else if (device_->count() > 0) {
        form.device = device_->itemText(0).toStdString();
    }
    name_->setText(q(form.name));
    number_->setText(q(form.number));
    device_->setCurrentText(q(form.device));
    speed_->setCurrentText(QString::number(form.speed));
    init_->setText(q(form.init));
    user_->setText(q(form.user));

    auto* fields = new QFormLayout;
    fields->addRow("Entry name:", name_);
    fields->addRow("Telephone number:", number_);
    fields->addRow("Modem device:", device_);
    fields->addRow("Speed:", speed_);
    fields->addRow("Modem init string:", init_);
    fields->addRow("User name:", user_);
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    ok_->setStyleSheet(buttonStyleSheet());
    cancel->setStyleSheet(buttonStyleSheet());
    connect(buttons, &QDialogButtonBox::accepted, this, &EntryEditorDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &EntryEditorDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    auto* note =
        new QLabel(q("The entry is written to " + paths_.peersDir + " and its chat script to " +
                     paths_.chatDir + ". The password is asked for when dialling."),
                   this);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

void EntryEditorDlg::tell(const std::string& text) {
    prompter_.show({text, kCaption, Buttons::Ok, Icon::Warning});
}

void EntryEditorDlg::accept() {
    platform::EntryForm form;
    form.name = name_->text().trimmed().toStdString();
    form.number = number_->text().trimmed().toStdString();
    form.device = device_->currentText().trimmed().toStdString();
    bool ok = false;
    form.speed = speed_->currentText().trimmed().toInt(&ok);
    if (!ok) {
        form.speed = 0;
    }
    form.init = init_->text().trimmed().toStdString();
    form.user = user_->text().trimmed().toStdString();
    if (const std::string why = platform::takeoverDeviceProblem(form.device); !why.empty()) {
        tell(why);
        return;
    }
    if (const std::string why = platform::writeEntryFiles(paths_, form, oldName_); !why.empty()) {
        tell(why);
        return;
    }
    DarkDialog::accept();
}

platform::RemoteAccess::EntryEditorFn makeEntryEditor(platform::LinuxRemoteAccess& ras,
                                                      Prompter& prompter) {
    return [&ras, &prompter](const std::string& name) {
        const platform::DialupPaths paths = ras.dialupPaths();
        // Say at once when nothing could be saved, before the user types anything.
        if (::access(paths.peersDir.c_str(), W_OK) != 0) {
            prompter.show({platform::folderUnwritableText(paths.peersDir), kCaption, Buttons::Ok,
                           Icon::Warning});
            return platform::ERROR_ACCESS_DENIED;
        }
        EntryEditorDlg dlg(paths, name, prompter);
        if (!dlg.loaded()) {
            return platform::ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        }
        dlg.exec();
        return 0;
    };
}

}  // namespace tavu
