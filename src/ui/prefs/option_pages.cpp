#include "ui/prefs/option_pages.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/paths.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "log/log_file.h"
#include "log/log_move.h"
#include "monitor/commands.h"
#include "platform/desktop/sound.h"
#include "platform/desktop/startup_entry.h"

namespace tavu {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

QLabel* plainText(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// --- The page framework ------------------------------------------------------------------------

OptionPage::OptionPage(PreferencesContext& context, QWidget* parent)
    : QWidget(parent), ctx_(context) {}

FieldExchange OptionPage::exchange() const {
    keeper_.message.clear();
    return FieldExchange(keeper_, kAppTitle);
}

namespace {

// The text of a caption (a label, or a check box or radio button that names the field).
QString captionOf(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text().remove(QLatin1Char('&'));
    }
    return {};
}

// The layout, the given one or one inside it, that holds the widget itself.
QLayout* layoutHolding(QLayout* layout, const QWidget* w) {
    if (layout == nullptr || layout->indexOf(w) >= 0) {
        return layout;
    }
    for (int i = 0; i < layout->count(); ++i) {
        if (QLayout* found = layoutHolding(layout->itemAt(i)->layout(), w)) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace

std::string fieldMessage(const QLineEdit* field, const std::string& message) {
    // The field's name is the caption beside it: the label in the same row of its grid, or
    // the label just before it in its row.
    QString name = field->accessibleName();
    const QWidget* parent = field->parentWidget();
    QLayout* layout = parent ? layoutHolding(parent->layout(), field) : nullptr;
    if (name.isEmpty() && layout != nullptr) {
        const int at = layout->indexOf(field);
        if (auto* grid = qobject_cast<QGridLayout*>(layout); grid && at >= 0) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
            for (int c = column - 1; c >= 0 && name.isEmpty(); --c) {
                QLayoutItem* item = grid->itemAtPosition(row, c);
                name = captionOf(item ? item->widget() : nullptr);
            }
        } else if (at > 0) {
            name = captionOf(layout->itemAt(at - 1)->widget());
        }
    }
    name = name.simplified();
    while (name.endsWith(QLatin1Char(':'))) {
        name.chop(1);
        name = name.trimmed();
    }
    if (name.isEmpty() || message.empty()) {
        return message;
    }
    std::string text = message;
    if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' && text[1] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return name.toStdString() + ": " + text;
}

OptionPage::Fields::Fields(const OptionPage& page) : exchange_(page.exchange()) {}

void OptionPage::Fields::note(QLineEdit* edit) {
    if (!bad_ && exchange_.failed()) {
        bad_ = edit;
    }
}

void OptionPage::Fields::integer(QLineEdit* edit, int& value) {
    exchange_.integer(tavu::text(edit), value);
    note(edit);
}

void OptionPage::Fields::integerInRange(QLineEdit* edit, int& value, int low, int high) {
    exchange_.integerInRange(tavu::text(edit), value, low, high);
    note(edit);
}

void OptionPage::Fields::number(QLineEdit* edit, double& value) {
    // Whatever the locale, a comma is read as the decimal sign too.
    exchange_.number(edit->text().replace(QLatin1Char(','), QLatin1Char('.')).toStdString(), value);
    note(edit);
}

void OptionPage::Fields::text(QLineEdit* edit, std::string& value) {
    exchange_.text(tavu::text(edit), value);
}

void OptionPage::Fields::checked(QLineEdit* edit, std::string& value, bool valid,
                                 const char* message) {
    exchange_.checked(tavu::text(edit), value, valid, message);
    note(edit);
}

QLineEdit* OptionPage::edit(const char* key) {
    auto* e = new QLineEdit(this);
    e->setObjectName(key);
    return e;
}

QCheckBox* OptionPage::box(const char* text, const char* key) {
    auto* b = new QCheckBox(QString::fromUtf8(text), this);
    b->setObjectName(key);
    return b;
}

QComboBox* OptionPage::combo(const char* key, std::initializer_list<const char*> entries) {
    auto* c = new QComboBox(this);
    c->setObjectName(key);
    for (const char* e : entries) {
        c->addItem(QString::fromUtf8(e));
    }
    return c;
}

int OptionPage::readFlag(const char* key, int def) const {
    return ctx_.settings.readInt(keys::kSettings, key, def);
}

void OptionPage::loadBox(QCheckBox* b, const char* key, int def) {
    b->setChecked(readFlag(key, def) == 1);
}

void OptionPage::saveBox(QCheckBox* b, const char* key) {
    ctx_.settings.writeInt(keys::kSettings, key, b->isChecked() ? 1 : 0);
}

void OptionPage::loadCombo(QComboBox* c, const char* key, int def) {
    const int index = readFlag(key, def);
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

void OptionPage::saveCombo(QComboBox* c, const char* key) {
    if (c->currentIndex() >= 0) {
        ctx_.settings.writeInt(keys::kSettings, key, c->currentIndex());
    }
}

// --- General -------------------------------------------------------------------------------------

COptGeneralPage::COptGeneralPage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainText("Logfile creating/reading path", this));
    auto* row = new QHBoxLayout;
    path_ = edit(keys::kIniPath);
    browse_ = new QPushButton("Browse", this);
    row->addWidget(path_, 1);
    row->addWidget(browse_);
    layout->addLayout(row);
    startWhenWindows_ = box(kStartWhenLoggingIn, keys::kStartWhenWindows);
    hideOnStart_ = box("Show main window when starting", keys::kHideOnStart);
    showSplash_ = box("Show splash screen when starting", keys::kShowSplash);
    showWhenConnected_ =
        box("Show main window when connected,  then hide", keys::kShowWhenConnected);
    showTime_ = box("Show small floating elapsed-time window", keys::kShowTime);
    confirmHangup_ = box("Ask when closing connection", keys::kConfirmHangup);
    confirmExit_ = box("Ask before exiting", keys::kConfirmExit);
    for (QCheckBox* b : {startWhenWindows_, hideOnStart_, showSplash_, showWhenConnected_,
                         showTime_, confirmHangup_, confirmExit_}) {
        layout->addWidget(b);
    }
    layout->addStretch();
    connect(browse_, &QPushButton::clicked, this, &COptGeneralPage::browse);
}

void COptGeneralPage::load() {
    pathMember_ = ctx_.settings.readString(keys::kSettings, keys::kIniPath, ctx_.configDir + "/");
    path_->setText(qs(pathMember_));
    loadBox(startWhenWindows_, keys::kStartWhenWindows, 1);
    loadBox(hideOnStart_, keys::kHideOnStart, 1);
    loadBox(showSplash_, keys::kShowSplash, 1);
    loadBox(showWhenConnected_, keys::kShowWhenConnected, 0);
    loadBox(showTime_, keys::kShowTime, 0);
    loadBox(confirmHangup_, keys::kConfirmHangup, 1);
    loadBox(confirmExit_, keys::kConfirmExit, 1);
}

void COptGeneralPage::browse() {
    pathMember_ = text(path_);
    if (!ctx_.pickFolder) {
        return;
    }
    const QString chosen = ctx_.pickFolder(this, qs(pathMember_));
    if (!chosen.isEmpty()) {
        pathMember_ = chosen.toStdString();
        path_->setText(chosen);
    }
}

QLineEdit* COptGeneralPage::collect() {
    Fields fields(*this);
    fields.text(path_, pathMember_);
    return fields.bad();
}

void COptGeneralPage::save() {
    // The log follows its folder. Any failure leaves it where it was (and is not reported: the
    // log writer says so when it next cannot write).
    SettingsStore& s = ctx_.settings;
    const std::string from = logFilePath(s, ctx_.configDir);
    const std::string folder = pathMember_.empty() ? ctx_.configDir : pathMember_;
    moveLogFile(from, joinPath(folder, kLogFileName));

    s.writeString(keys::kSettings, keys::kIniPath, pathMember_);
    saveBox(startWhenWindows_, keys::kStartWhenWindows);
    if (startWhenWindows_->isChecked()) {
        ctx_.startup.create();
    } else {
        ctx_.startup.remove();
    }
    saveBox(confirmHangup_, keys::kConfirmHangup);
    saveBox(confirmExit_, keys::kConfirmExit);
    saveBox(hideOnStart_, keys::kHideOnStart);
    saveBox(showSplash_, keys::kShowSplash);
    saveBox(showWhenConnected_, keys::kShowWhenConnected);
    saveBox(showTime_, keys::kShowTime);
}

// --- Connection ----------------------------------------------------------------------------------

COptHangupPage::COptHangupPage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainText("Action :", this));
    auto* actionRow = new QHBoxLayout;
    action_ = combo(keys::kHangupComboState, {"Do nothing", "Auto hangup", "Stay online"});
    actionRow->addWidget(action_);
    actionRow->addWidget(plainText("after", this));
    interval_ = edit(keys::kHangupInterval);
    interval_->setAccessibleName(QStringLiteral("Minutes inactive/active"));
    interval_->setMaximumWidth(70);
    actionRow->addWidget(interval_);
    actionRow->addWidget(plainText("mins inactive/active", this));
    actionRow->addStretch();
    layout->addLayout(actionRow);

    launchBrowser_ = box("Launch default WEB browser after connection", keys::kLaunchBrowser);
    layout->addWidget(launchBrowser_);
    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(plainText("Default URL :", this));
    url_ = edit(keys::kUrlToLaunch);
    urlRow->addWidget(url_, 1);
    layout->addLayout(urlRow);

    redial_ = box("Automaticly redial when connection is closed by remote server", keys::kRedial);
    layout->addWidget(redial_);
    auto* timesRow = new QHBoxLayout;
    busyTimes_ = new QRadioButton("Redial a maximum of", this);
    redialTimes_ = edit(keys::kRedialTimes);
    redialTimes_->setMaximumWidth(70);
    timesRow->addWidget(busyTimes_);
    timesRow->addWidget(redialTimes_);
    timesRow->addWidget(plainText("times", this));
    timesRow->addStretch();
    layout->addLayout(timesRow);
    busyTillConnected_ = new QRadioButton("Redial till connected", this);
    busyNever_ = new QRadioButton("Do not redial at all", this);
    layout->addWidget(busyTillConnected_);
    layout->addWidget(busyNever_);
    layout->addStretch();
    busyGroup_ = new QButtonGroup(this);
    busyGroup_->setObjectName(keys::kRedialWhenBusy);
    busyGroup_->addButton(busyTimes_, 1);
    busyGroup_->addButton(busyTillConnected_, 2);
    busyGroup_->addButton(busyNever_, 3);
}

void COptHangupPage::load() {
    SettingsStore& s = ctx_.settings;
    loadCombo(action_, keys::kHangupComboState, 0);
    intervalMember_ = readFlag(keys::kHangupInterval, 10);
    loadBox(launchBrowser_, keys::kLaunchBrowser, 0);
    urlMember_ = s.readString(keys::kSettings, keys::kUrlToLaunch, kDefaultUrlToLaunch);
    loadBox(redial_, keys::kRedial, 0);
    if (QAbstractButton* b = busyGroup_->button(readFlag(keys::kRedialWhenBusy, 0))) {
        b->setChecked(true);
    }
    redialTimesMember_ = readFlag(keys::kRedialTimes, 3);
    interval_->setText(QString::number(intervalMember_));
    url_->setText(qs(urlMember_));
    redialTimes_->setText(QString::number(redialTimesMember_));
}

QLineEdit* COptHangupPage::collect() {
    Fields fields(*this);
    fields.integer(interval_, intervalMember_);
    fields.text(url_, urlMember_);
    fields.integer(redialTimes_, redialTimesMember_);
    return fields.bad();
}

void COptHangupPage::save() {
    SettingsStore& s = ctx_.settings;
    saveCombo(action_, keys::kHangupComboState);
    s.writeInt(keys::kSettings, keys::kHangupInterval, intervalMember_);
    s.writeInt(keys::kSettings, keys::kRedialTimes, redialTimesMember_);
    saveBox(launchBrowser_, keys::kLaunchBrowser);
    saveBox(redial_, keys::kRedial);
    s.writeString(keys::kSettings, keys::kUrlToLaunch, urlMember_);
    if (const int busy = busyGroup_->checkedId(); busy >= 1) {
        s.writeInt(keys::kSettings, keys::kRedialWhenBusy, busy);
    }
}

// --- Email -------------------------------------------------------------------------------------

COptMailPage::COptMailPage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* everyRow = new QHBoxLayout;
    checkMail_ = box("Check incoming mail every", keys::kCheckMail);
    mailTime_ = edit(keys::kCMailTime);
    mailTime_->setMaximumWidth(70);
    everyRow->addWidget(checkMail_);
    everyRow->addWidget(mailTime_);
    everyRow->addWidget(plainText("mins", this));
    everyRow->addStretch();
    layout->addLayout(everyRow);
    checkOnConnect_ = box("Check email imediately upon connection", keys::kCheckMailOnCon);
    layout->addWidget(checkOnConnect_);

    auto* grid = new QGridLayout;
    user_ = edit(keys::kMUser);
    password_ = edit(keys::kMPassword);
    password_->setEchoMode(QLineEdit::Password);
    server_ = edit(keys::kMServer);
    security_ = combo(keys::kMSecurity, {"STARTTLS (port 110)", "TLS (port 995)",
                                         "None - password in plain text (port 110)"});
    grid->addWidget(plainText("User name", this), 0, 0);
    grid->addWidget(user_, 0, 1);
    grid->addWidget(plainText("Password", this), 1, 0);
    grid->addWidget(password_, 1, 1);
    grid->addWidget(plainText("Pop server", this), 2, 0);
    grid->addWidget(server_, 2, 1);
    grid->addWidget(plainText("Security", this), 3, 0);
    grid->addWidget(security_, 3, 1);
    layout->addLayout(grid);

    checkNow_ = new QPushButton("Check email now", this);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(checkNow_);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);
    layout->addStretch();
    connect(checkNow_, &QPushButton::clicked, this, [this] {
        if (ctx_.checkMail) {
            ctx_.checkMail(this, typedAccount());
        } else if (ctx_.runCommand) {
            ctx_.runCommand(CmdCheckMail);
        }
    });
}

MailCheckSettings COptMailPage::typedAccount() const {
    MailCheckSettings account;
    account.server = text(server_);
    account.user = text(user_);
    account.password = text(password_);
    const int security = security_->currentIndex();
    account.security = parseMailSecurity(
        security >= 0 ? kMSecurityValues[security]
                      : ctx_.settings.readString(keys::kSettings, keys::kMSecurity));
    return account;
}

void COptMailPage::load() {
    SettingsStore& s = ctx_.settings;
    loadBox(checkMail_, keys::kCheckMail, 0);
    mailTimeMember_ = readFlag(keys::kCMailTime, 10);
    loadBox(checkOnConnect_, keys::kCheckMailOnCon, 0);
    userMember_ = s.readString(keys::kSettings, keys::kMUser);
    passwordMember_ = s.readString(keys::kSettings, keys::kMPassword);
    serverMember_ = s.readString(keys::kSettings, keys::kMServer);
    const std::string security =
        s.readString(keys::kSettings, keys::kMSecurity, kMSecurityValues[0]);
    security_->setCurrentIndex(-1);  // a value of no entry selects none and stays as stored
    for (int i = 0; i < security_->count(); ++i) {
        if (security == kMSecurityValues[i]) {
            security_->setCurrentIndex(i);
        }
    }
    mailTime_->setText(QString::number(mailTimeMember_));
    user_->setText(qs(userMember_));
    password_->setText(qs(passwordMember_));
    server_->setText(qs(serverMember_));
}

QLineEdit* COptMailPage::collect() {
    Fields fields(*this);
    // The period of a timer: at least a minute, at most a day.
    fields.integerInRange(mailTime_, mailTimeMember_, 1, kMaxMailMinutes);
    fields.text(user_, userMember_);
    fields.text(password_, passwordMember_);
    fields.text(server_, serverMember_);
    return fields.bad();
}

void COptMailPage::save() {
    SettingsStore& s = ctx_.settings;
    s.writeInt(keys::kSettings, keys::kCMailTime, mailTimeMember_);
    saveBox(checkMail_, keys::kCheckMail);
    saveBox(checkOnConnect_, keys::kCheckMailOnCon);
    s.writeString(keys::kSettings, keys::kMUser, userMember_);
    s.writeString(keys::kSettings, keys::kMPassword, passwordMember_);
    s.writeString(keys::kSettings, keys::kMServer, serverMember_);
    if (const int i = security_->currentIndex(); i >= 0) {
        s.writeString(keys::kSettings, keys::kMSecurity, kMSecurityValues[i]);
    }
}

// --- Sounds --------------------------------------------------------------------------------------

COptSoundPage::COptSoundPage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    const char* titles[] = {"When connection is made", "When connection is terminated"};
    const char* actionKeys[] = {keys::kActionWhenConMade, keys::kActionWhenConDropped};
    const char* fileKeys[] = {keys::kSoundWhenConMade, keys::kSoundWhenConDropped};
    for (int g = 0; g < 2; ++g) {
        auto* group = new QGroupBox(QString::fromUtf8(titles[g]), this);
        auto* grid = new QGridLayout(group);
        Group& gr = groups_[g];
        gr.actionKey = actionKeys[g];
        gr.fileKey = fileKeys[g];
        gr.action = new QComboBox(group);
        gr.action->setObjectName(actionKeys[g]);
        gr.action->addItems({"Do nothing", "Beep thru computer speaker", "Play this file"});
        gr.file = new QLineEdit(group);
        gr.file->setObjectName(fileKeys[g]);
        gr.browse = new QPushButton("Browse", group);
        gr.play = new QPushButton("Play", group);
        grid->addWidget(gr.action, 0, 0, 1, 3);
        grid->addWidget(gr.file, 1, 0);
        grid->addWidget(gr.browse, 1, 1);
        grid->addWidget(gr.play, 1, 2);
        layout->addWidget(group);
        connect(gr.browse, &QPushButton::clicked, this, [this, g] { browse(g); });
        connect(gr.play, &QPushButton::clicked, this, [this, g] { play(g); });
    }
    layout->addStretch();
}

void COptSoundPage::load() {
    for (Group& g : groups_) {
        loadCombo(g.action, g.actionKey, 0);
        g.member = ctx_.settings.readString(keys::kSettings, g.fileKey);
        g.file->setText(qs(g.member));
    }
}

void COptSoundPage::moveEditsToMembers() {
    for (Group& g : groups_) {
        g.member = text(g.file);
    }
}

void COptSoundPage::browse(int group) {
    moveEditsToMembers();
    if (!ctx_.pickSoundFile) {
        return;
    }
    const QString chosen = ctx_.pickSoundFile(this);
    if (!chosen.isEmpty()) {
        groups_[group].member = chosen.toStdString();
    }
    for (Group& g : groups_) {
        g.file->setText(qs(g.member));
    }
}

void COptSoundPage::play(int group) {
    // The file the field shows; the call returns when the sound has ended.
    Group& g = groups_[group];
    g.member = text(g.file);
    if (!g.member.empty()) {
        ctx_.sound.playFile(g.member);
    }
}

void COptSoundPage::save() {
    moveEditsToMembers();
    SettingsStore& s = ctx_.settings;
    s.writeString(keys::kSettings, keys::kSoundWhenConMade, groups_[0].member);
    s.writeString(keys::kSettings, keys::kSoundWhenConDropped, groups_[1].member);
    saveCombo(groups_[0].action, keys::kActionWhenConMade);
    saveCombo(groups_[1].action, keys::kActionWhenConDropped);
}

}  // namespace tavu
