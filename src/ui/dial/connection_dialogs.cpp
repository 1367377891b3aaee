#include "ui/dial/connection_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "core/paths.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "platform/desktop/shell.h"
#include "platform/ras/remote_access.h"
#include "ui/common/manual.h"
#include "ui/common/password_dialogs.h"
#include "ui/common/screen_fit.h"
#include "ui/dial/dial_progress_dlg.h"

namespace tavu {

namespace {

// The phone book holds at most this many entries the program can list.
constexpr std::size_t kMaxEntries = 10;

bool listEntries(platform::RemoteAccess& ras, std::vector<std::string>& out) {
    return ras.listEntries(out) && out.size() <= kMaxEntries;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr const char* kChooseDefaultText =
    "Please select default connection entry to dial. You must do this only once.\n"
    "Please single-click on connection you want to made default,click Set as default. Then "
    "click hide.";
constexpr const char* kChooseDefaultOnOkText =
    "Please select default connection entry to dial. You must do this only once.\n"
    "Please doubleclick on connection you want to made default, then click hide.";
constexpr const char* kEnterUserText =
    "Please enter user name and password that will be used to connect to remote server "
    "(internet)!!!";

}  // namespace

// --- Entries manager ---------------------------------------------------------------------------

CConnectionsDlg::CConnectionsDlg(AppContext context, QWidget* parent)
    : DarkDialog(parent), ctx_(std::move(context)) {
    setWindowTitle(QStringLiteral("Connections"));
    list_ = new QTreeWidget(this);
    list_->setColumnCount(1);
    list_->setHeaderLabels({QStringLiteral("Connection")});
    list_->setColumnWidth(0, 150);
    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setSortingEnabled(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setStyleSheet(
        QStringLiteral("QTreeWidget { background-color: rgb(150, 150, 150); color: rgb(0, 40, 0); }"
                       "QTreeWidget::item:selected { background-color: palette(highlight);"
                       " color: palette(highlighted-text); }"));
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                // Every item whose state changed counts, the deselected one first.
                for (const QModelIndex& i : deselected.indexes()) {
                    selectedEntry_ = i.data().toString().toStdString();
                }
                for (const QModelIndex& i : selected.indexes()) {
                    selectedEntry_ = i.data().toString().toStdString();
                }
            });
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { doubleClicked(item->text(0).toStdString()); });

    auto* column = new QVBoxLayout;
    const std::pair<const char*, void (CConnectionsDlg::*)()> actions[] = {
        {"Dial", &CConnectionsDlg::dial},
        {"Add", &CConnectionsDlg::add},
        {"Delete", &CConnectionsDlg::remove},
        {"Edit", &CConnectionsDlg::edit},
        {"Set as default", &CConnectionsDlg::setAsDefault},
        {"Advanced", &CConnectionsDlg::advanced},
        {"Help", &CConnectionsDlg::help},
        {"Hide", nullptr}};
    for (const auto& [label, action] : actions) {
        auto* b = new QPushButton(QString::fromLatin1(label), this);
        b->setAutoDefault(false);
        if (action) {
            connect(b, &QPushButton::clicked, this, action);
        } else {
            connect(b, &QPushButton::clicked, this, &QDialog::reject);
        }
        buttons_.push_back(b);
        column->addWidget(b);
    }
    column->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(column);
    resize(360, 300);
    refill();
}

void CConnectionsDlg::runManager(const AppContext& context, QWidget* parent, bool choosingDefault) {
    // The entries, their passwords and Delete change the configuration.
    if (!configurationGate(context.settings, context.prompter, parent)) {
        return;
    }
    CConnectionsDlg manager(context, parent);
    manager.choosingDefault = choosingDefault;
    manager.exec();
}

QPushButton* CConnectionsDlg::button(const QString& label) const {
    for (QPushButton* b : buttons_) {
        if (b->text() == label) {
            return b;
        }
    }
    return nullptr;
}

QStringList CConnectionsDlg::entries() const {
    QStringList out;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        out << list_->topLevelItem(i)->text(0);
    }
    return out;
}

void CConnectionsDlg::refill() {
    list_->clear();
    std::vector<std::string> names;
    if (!listEntries(ctx_.ras, names)) {
        return;  // nothing listed, and nothing said
    }
    for (const std::string& name : names) {
        auto* item = new QTreeWidgetItem(QStringList{qs(name)});
        // An entry kept by another program (NetworkManager) carries a network icon and says
        // whose it is.
        if (const std::string source = ctx_.ras.entrySource(name); !source.empty()) {
            item->setIcon(0, list_->style()->standardIcon(QStyle::SP_DriveNetIcon));
            item->setToolTip(0, qs("A connection of " + source));
        }
        list_->insertTopLevelItem(0, item);
    }
    markDefault();
}

void CConnectionsDlg::markDefault() {
    // The default entry in bold, with a tick and a tip that says so.
    const QString def = qs(ctx_.settings.readString(keys::kSettings, keys::kDefaultCon));
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const bool isDefault = item->text(0) == def;
        QFont font = item->font(0);
        font.setBold(isDefault);
        item->setFont(0, font);
        // Every row keeps the icon's room, so the names stay in one column.
        QPixmap none(16, 16);
        none.fill(Qt::transparent);
        item->setIcon(
            0, isDefault ? style()->standardIcon(QStyle::SP_DialogApplyButton) : QIcon(none));
        item->setToolTip(0, isDefault ? QStringLiteral("The default connection") : QString());
    }
}

std::string CConnectionsDlg::currentEntry() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? std::string() : selected.front()->text(0).toStdString();
}

std::string CConnectionsDlg::entryToDial() const {
    std::string entry = currentEntry();
    if (entry.empty()) {
        entry = ctx_.settings.readString(keys::kSettings, keys::kDefaultCon);
        if (entry == kSeveralConnections || !entries().contains(qs(entry))) {
            entry.clear();
        }
    }
    return entry;
}

void CConnectionsDlg::say(const char* text) {
    ctx_.prompter.show(Message{text, "TAVU", Buttons::Ok, Icon::None});
}

void CConnectionsDlg::dial() {
    const std::string entry = entryToDial();
    if (entry.empty()) {
        say("Please select entry to dial first. Or create it, using Add...");
        return;
    }
    dialEntry(entry);
}

void CConnectionsDlg::dialEntry(const std::string& entry) {
    // The user name and password of that entry, then the dial of that entry.
    CConnectionLoginDlg login(ctx_, this);
    login.givenEntry = entry;
    if (login.run() == QDialog::Accepted) {
        CDialProgressDlg::runDial(ctx_, this, entry);
    }
}

void CConnectionsDlg::doubleClicked(const std::string& entry) {
    if (entry.empty()) {
        return;
    }
    const std::string def = ctx_.settings.readString(keys::kSettings, keys::kDefaultCon);
    if (!choosingDefault && !def.empty() && def != kSeveralConnections) {
        dialEntry(entry);
        return;
    }
    const Answer a = ctx_.prompter.show(Message{"Set " + entry + " as the default connection?",
                                                "TAVU", Buttons::YesNo, Icon::Question});
    if (a == Answer::Yes) {
        ctx_.settings.writeString(keys::kSettings, keys::kDefaultCon, entry);
        markDefault();
    }
}

void CConnectionsDlg::add() {
    ctx_.ras.createEntry();
    refill();
}

void CConnectionsDlg::edit() {
    ctx_.ras.editEntry(selectedEntry_);
}

void CConnectionsDlg::remove() {
    if (selectedEntry_.empty()) {
        say("Please select entry to delete first. Or create it, using Add...");
        return;
    }
    const Answer a = ctx_.prompter.show(
        Message{"You are about to delete entry " + selectedEntry_ + ". Are you sure ?",
                "Are you sure ?", Buttons::YesNo, Icon::Question});
    if (a != Answer::Yes) {
        return;
    }
    if (const int code = ctx_.ras.deleteEntry(selectedEntry_); code != 0) {
        std::string why = ctx_.ras.errorText(code);
        if (why.empty()) {
            why = "The entry " + selectedEntry_ + " could not be deleted (error " +
                  std::to_string(code) + ").";
        }
        ctx_.prompter.show(Message{why, "TAVU", Buttons::Ok, Icon::Warning});
    }
    refill();
}

void CConnectionsDlg::setAsDefault() {
    if (selectedEntry_.empty()) {
        say("Please select entry first. Just single-click on it...");
        return;
    }
    ctx_.settings.writeString(keys::kSettings, keys::kDefaultCon, selectedEntry_);
    markDefault();
}

void CConnectionsDlg::advanced() {
    if (selectedEntry_.empty()) {
        say("Please select entry first. Just single-click on it...");
        return;
    }
    CConnectionLoginDlg login(ctx_, this);
    login.givenEntry = selectedEntry_;
    login.run();
}

void CConnectionsDlg::help() {
    openManual(ctx_.shell, ctx_.prompter, helpIndexPath(ctx_.exeDir));
}

// --- Login dialog ------------------------------------------------------------------------------

CConnectionLoginDlg::CConnectionLoginDlg(AppContext context, QWidget* parent)
    : DarkDialog(parent), ctx_(std::move(context)) {
    entryName_ = ctx_.settings.readString(keys::kSettings, keys::kDefaultCon);
    auto* grid = new QGridLayout;
    auto* userLabel = new QLabel(QStringLiteral("User name:"), this);
    auto* passwordLabel = new QLabel(QStringLiteral("Password:"), this);
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    grid->addWidget(userLabel, 0, 0);
    grid->addWidget(user_, 0, 1);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(password_, 1, 1);
    remember_ = new QCheckBox(QStringLiteral("Remember user name and password"), this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CConnectionLoginDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, [this] { done(0); });
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok_);
    row->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(remember_);
    layout->addLayout(row);
}

void CConnectionLoginDlg::openManager() {
    CConnectionsDlg::runManager(ctx_, this, true);
}

int CConnectionLoginDlg::run() {
    SettingsStore& s = ctx_.settings;
    remember_->setChecked(s.readInt(keys::kConnections, keys::kRememberPassword, 1) != 0);

    // An entry handed in by the entries manager's Advanced is edited as it is: no default
    // entry is asked for first.
    const bool advanced = !givenEntry.empty() && !skipWhenStored;
    if (!advanced) {
        std::vector<std::string> names;
        if (listEntries(ctx_.ras, names) && names.size() == 1) {
            entryName_ = names.front();
            s.writeString(keys::kSettings, keys::kDefaultCon, entryName_);
        } else if (s.readString(keys::kSettings, keys::kDefaultCon, kSeveralConnections) ==
                   kSeveralConnections) {
            entryName_ = kSeveralConnections;
        }
        if (entryName_ == kSeveralConnections) {
            ctx_.prompter.show(Message{kChooseDefaultText, kAppTitle, Buttons::Ok, Icon::None});
            openManager();
            const std::string chosen =
                s.readString(keys::kSettings, keys::kDefaultCon, kSeveralConnections);
            if (chosen == kSeveralConnections) {
                return 0;
            }
            entryName_ = chosen;
        }
    }
    if (!givenEntry.empty()) {
        entryName_ = givenEntry;
    }
    showEntryInTitle();
    password_->setText(
        qs(s.readString(keys::kConnections, entryName_ + keys::kEntryPasswordSuffix)));
    user_->setText(qs(s.readString(keys::kConnections, entryName_ + keys::kEntryUserSuffix)));
    if (!user_->text().isEmpty() && !password_->text().isEmpty() && skipWhenStored) {
        return QDialog::Accepted;
    }
    return exec();
}

void CConnectionLoginDlg::showEntryInTitle() {
    setWindowTitle(qs("Connection " + entryName_ + " user name and password."));
    roomForTitle(this);  // the entry's name is the part of the title that matters
}

void CConnectionLoginDlg::accept() {
    SettingsStore& s = ctx_.settings;
    const std::string user = user_->text().toStdString();
    const std::string password = password_->text().toStdString();
    s.writeInt(keys::kConnections, keys::kRememberPassword, remember_->isChecked() ? 1 : 0);
    if (user.empty() || password.empty()) {
        ctx_.prompter.show(Message{kEnterUserText, kAppTitle, Buttons::Ok, Icon::None});
        return;
    }
    // Advanced stores the values of the entry it shows; a dial stores them under the default.
    std::string entry = givenEntry;
    if (entry.empty() || skipWhenStored) {
        entry = s.readString(keys::kSettings, keys::kDefaultCon);
        if (entry.empty()) {
            ctx_.prompter.show(Message{kChooseDefaultOnOkText, kAppTitle, Buttons::Ok, Icon::None});
            openManager();
            entry = s.readString(keys::kSettings, keys::kDefaultCon);
            if (entry.empty()) {
                done(0);
                return;
            }
        }
    }
    s.writeString(keys::kConnections, entry + keys::kEntryPasswordSuffix, password);
    s.writeString(keys::kConnections, entry + keys::kEntryUserSuffix, user);
    done(QDialog::Accepted);
}

// --- The dial command --------------------------------------------------------------------------

void runDialCommand(const AppContext& context, QWidget* parent,
                    const std::function<void(const std::string&)>& statusLine,
                    const std::function<void(const std::string&)>& clearStatus) {
    CConnectionLoginDlg login(context, parent);
    login.skipWhenStored = true;
    if (login.run() != QDialog::Accepted) {
        return;
    }
    if (statusLine) {
        statusLine("Connecting...");
    }
    CDialProgressDlg::runDial(context, parent);
    if (clearStatus) {
        clearStatus("Connecting...");
    }
}

}  // namespace tavu
