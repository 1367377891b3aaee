#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "monitor/commands.h"
#include "tariff/billing_period.h"
#include "tariff/price_fields.h"
#include "ui/prefs/option_pages.h"

namespace tavu {

namespace {

QString numberText(double value) {
    return QString::fromStdString(formatNumberField(value));
}

// A stored count of megabytes as its field shows it: a value the field would refuse is shown as
// the nearest it takes (a negative one, which counts as none, as 0).
int megabytesField(int stored) {
    return std::clamp(stored, 0, COptWarningsPage::kMaxMegabytes);
}

}  // namespace

// --- Warnings ------------------------------------------------------------------------------------

COptWarningsPage::COptWarningsPage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent),
      limits_{{nullptr, nullptr, keys::kWarnWhenMonth, keys::kWarnWhenMonthInterval},
              {nullptr, nullptr, keys::kWarnWhenCall, keys::kWarnWhenCallInterval},
              {nullptr, nullptr, keys::kDisWhenMonth, keys::kDisWhenMonthInterval},
              {nullptr, nullptr, keys::kDisWhenCall, keys::kDisWhenCallInterval}} {
    auto* layout = new QVBoxLayout(this);
    const char* texts[] = {"Warn when cost per month exceeds", "Warn when cost per call exceeds",
                           "Disconnect when cost per month exceeds",
                           "Disconnect when cost per call exceeds"};
    const char* groupTitles[] = {"Warnings", "Auto hangup"};
    for (int g = 0; g < 2; ++g) {
        auto* group = new QGroupBox(QString::fromUtf8(groupTitles[g]), this);
        auto* grid = new QGridLayout(group);
        for (int row = 0; row < 2; ++row) {
            Limit& l = limits_[g * 2 + row];
            l.box = new QCheckBox(QString::fromUtf8(texts[g * 2 + row]), group);
            l.box->setObjectName(l.boxKey);
            l.edit = new QLineEdit(group);
            l.edit->setObjectName(l.limitKey);
            l.edit->setMaximumWidth(90);
            grid->addWidget(l.box, row, 0);
            grid->addWidget(l.edit, row, 1);
        }
        // The data caps of the billing period: "Warn at ... MB", "Hang up at ... MB".
        QLineEdit*& cap = g == 0 ? dataWarn_ : dataHangup_;
        cap = new QLineEdit(group);
        cap->setObjectName(g == 0 ? keys::kDataWarnMB : keys::kDataHangupMB);
        cap->setMaximumWidth(90);
        cap->setAccessibleName(g == 0 ? QStringLiteral("Warn at (MB)")
                                      : QStringLiteral("Hang up at (MB)"));
        auto* capRow = new QHBoxLayout;
        capRow->addWidget(plainText(g == 0 ? "Warn at" : "Hang up at", group));
        capRow->addWidget(cap);
        capRow->addWidget(plainText("MB", group));
        capRow->addStretch();
        grid->addLayout(capRow, 2, 0, 1, 2);
        layout->addWidget(group);
    }
    layout->addStretch();
}

void COptWarningsPage::load() {
    for (Limit& l : limits_) {
        loadBox(l.box, l.boxKey, 0);
        l.value = readMoneyLimit(ctx_.settings, l.limitKey);
    }
    for (Limit& l : limits_) {
        l.edit->setText(numberText(l.value));
    }
    dataWarnMember_ = megabytesField(dataCapMB(ctx_.settings, keys::kDataWarnMB));
    dataHangupMember_ = megabytesField(dataCapMB(ctx_.settings, keys::kDataHangupMB));
    dataWarn_->setText(QString::number(dataWarnMember_));
    dataHangup_->setText(QString::number(dataHangupMember_));
}

QLineEdit* COptWarningsPage::collect() {
    Fields fields(*this);
    for (Limit& l : limits_) {
        double value = l.value;
        fields.number(l.edit, value);
        std::string unused;
        fields.checked(l.edit, unused, value > 0 && value <= kMaxLimit, kLimitMessage);
        if (fields.bad()) {
            break;
        }
        l.value = value;
    }
    fields.integerInRange(dataWarn_, dataWarnMember_, 0, kMaxMegabytes);
    fields.integerInRange(dataHangup_, dataHangupMember_, 0, kMaxMegabytes);
    return fields.bad();
}

void COptWarningsPage::save() {
    for (Limit& l : limits_) {
        saveBox(l.box, l.boxKey);
    }
    for (Limit& l : limits_) {
        ctx_.settings.writeString(keys::kSettings, l.limitKey, formatNumberField(l.value));
    }
    ctx_.settings.writeInt(keys::kWarnings, keys::kDataWarnMB, dataWarnMember_);
    ctx_.settings.writeInt(keys::kWarnings, keys::kDataHangupMB, dataHangupMember_);
}

// --- Price ---------------------------------------------------------------------------------------

COptPricePage::COptPricePage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);

    auto* dial = new QGroupBox("Dialprice", this);
    auto* dialRow = new QHBoxLayout(dial);
    dialRow->addWidget(plainText("Price per dial", dial));
    pricePerDial_ = new QLineEdit(dial);
    pricePerDial_->setObjectName(keys::kPricePerDial);
    dialRow->addWidget(pricePerDial_);
    layout->addWidget(dial);

    auto* times = new QGroupBox("Times", this);
    auto* timesGrid = new QGridLayout(times);
    cheapFrom_ = new QComboBox(times);
    cheapFrom_->setObjectName(keys::kCheapTimeFromComboState);
    cheapTo_ = new QComboBox(times);
    cheapTo_->setObjectName(keys::kCheapTimeToComboState);
    for (int i = 0; i < kCheapListSize; ++i) {
        cheapFrom_->addItem(QString::fromStdString(cheapStartText(i)));
        cheapTo_->addItem(QString::fromStdString(cheapEndText(i)));
    }
    cheapSat_ = new QCheckBox("Always cheap time in Saturdays", times);
    cheapSat_->setObjectName(keys::kCheapInSat);
    cheapSun_ = new QCheckBox("Always cheap time in Sundays", times);
    cheapSun_->setObjectName(keys::kCheapInSun);
    timesGrid->addWidget(plainText("Cheap time from", times), 0, 0);
    timesGrid->addWidget(cheapFrom_, 0, 1);
    timesGrid->addWidget(plainText("to", times), 0, 2);
    timesGrid->addWidget(cheapTo_, 0, 3);
    timesGrid->addWidget(cheapSat_, 1, 0, 1, 4);
    timesGrid->addWidget(cheapSun_, 2, 0, 1, 4);
    layout->addWidget(times);

    auto* prices = new QGroupBox("Prices", this);
    auto* pricesGrid = new QGridLayout(prices);
    cheapCost_ = new QLineEdit(prices);
    cheapCost_->setObjectName(keys::kCheapCostPerMinute);
    cost_ = new QLineEdit(prices);
    cost_->setObjectName(keys::kCostPerMinute);
    pricesGrid->addWidget(plainText("Cheap cost per minute", prices), 0, 0);
    pricesGrid->addWidget(cheapCost_, 0, 1);
    pricesGrid->addWidget(plainText("Cost per minute", prices), 1, 0);
    pricesGrid->addWidget(cost_, 1, 1);
    layout->addWidget(prices);

    auto* free = new QGroupBox("Free time", this);
    auto* freeGrid = new QGridLayout(free);
    freeTime_ = new QLineEdit(free);
    freeTime_->setObjectName(keys::kFreeMonthTime);
    minTime_ = new QLineEdit(free);
    minTime_->setObjectName(keys::kMinConTime);
    block_ = new QLineEdit(free);
    block_->setObjectName(keys::kConnectionBlock);
    QLabel* minLabel = plainText(
        "Minimal connections time (mins) If it is less than x mins, it will be counted as x "
        "mins connection",
        free);
    minLabel->setWordWrap(true);
    minTime_->setAccessibleName(QStringLiteral("Minimal connections time (mins)"));
    QLabel* freeLabel = plainText("Free time in each month (please use hh:mm format)", free);
    // The wrapped label is as wide as the column's widest caption: as tall as its lines need.
    minLabel->setMinimumHeight(minLabel->heightForWidth(freeLabel->sizeHint().width()));
    freeGrid->addWidget(freeLabel, 0, 0);
    freeGrid->addWidget(freeTime_, 0, 1);
    freeGrid->addWidget(minLabel, 1, 0);
    freeGrid->addWidget(minTime_, 1, 1);
    freeGrid->addWidget(plainText("Connection block step (mins)", free), 2, 0);
    freeGrid->addWidget(block_, 2, 1);
    layout->addWidget(free);

    auto* data = new QGroupBox("Data", this);
    auto* dataGrid = new QGridLayout(data);
    costPerMB_ = new QLineEdit(data);
    costPerMB_->setObjectName(keys::kCostPerMB);
    freeMB_ = new QLineEdit(data);
    freeMB_->setObjectName(keys::kFreeMonthMB);
    billingDay_ = new QLineEdit(data);
    billingDay_->setObjectName(keys::kBillingDay);
    dataGrid->addWidget(plainText("Price per MB", data), 0, 0);
    dataGrid->addWidget(costPerMB_, 0, 1);
    dataGrid->addWidget(plainText("Free MB per month", data), 1, 0);
    dataGrid->addWidget(freeMB_, 1, 1);
    dataGrid->addWidget(plainText("Billing period starts on day", data), 2, 0);
    dataGrid->addWidget(billingDay_, 2, 1);
    layout->addWidget(data);
    layout->addStretch();
}

void COptPricePage::load() {
    SettingsStore& s = ctx_.settings;
    loadBox(cheapSat_, keys::kCheapInSat, 0);
    loadBox(cheapSun_, keys::kCheapInSun, 0);
    pricePerDialMember_ = leadingDouble(s.readString(keys::kPrice, keys::kPricePerDial));
    cheapCostMember_ = leadingDouble(s.readString(keys::kPrice, keys::kCheapCostPerMinute));
    costMember_ = leadingDouble(s.readString(keys::kPrice, keys::kCostPerMinute));
    // An index outside the lists selects nothing.
    for (auto [combo, key, def] :
         {std::tuple{cheapFrom_, keys::kCheapTimeFromComboState, kCheapStartDefaultIndex},
          std::tuple{cheapTo_, keys::kCheapTimeToComboState, kCheapEndDefaultIndex}}) {
        const int index = s.readInt(keys::kPrice, key, def);
        combo->setCurrentIndex(index >= 0 && index < kCheapListSize ? index : -1);
    }
    blockMember_ = s.readString(keys::kPrice, keys::kConnectionBlock, "00:00");
    freeTimeMember_ = s.readString(keys::kPrice, keys::kFreeMonthTime, "00:00");
    minTimeMember_ = s.readString(keys::kPrice, keys::kMinConTime, "00:00");
    costPerMBMember_ = leadingDouble(s.readString(keys::kPrice, keys::kCostPerMB));
    freeMBMember_ = megabytesField(s.readInt(keys::kPrice, keys::kFreeMonthMB, 0));
    billingDayMember_ = billingDay(s);

    pricePerDial_->setText(numberText(pricePerDialMember_));
    cheapCost_->setText(numberText(cheapCostMember_));
    cost_->setText(numberText(costMember_));
    freeTime_->setText(QString::fromStdString(freeTimeMember_));
    minTime_->setText(QString::fromStdString(minTimeMember_));
    block_->setText(QString::fromStdString(blockMember_));
    costPerMB_->setText(numberText(costPerMBMember_));
    freeMB_->setText(QString::number(freeMBMember_));
    billingDay_->setText(QString::number(billingDayMember_));
}

QLineEdit* COptPricePage::collect() {
    Fields fields(*this);
    fields.number(pricePerDial_, pricePerDialMember_);
    fields.number(cheapCost_, cheapCostMember_);
    fields.number(cost_, costMember_);
    // The time fields hold what the tariff reads as it looks: HH:MM or a number of minutes.
    for (auto [edit, member] :
         {std::pair{freeTime_, &freeTimeMember_}, std::pair{minTime_, &minTimeMember_},
          std::pair{block_, &blockMember_}}) {
        const std::string typed(trim(text(edit)));
        std::string value;
        fields.checked(edit, value, isTariffTimeText(typed), kTariffTimeMessage);
        if (!fields.bad()) {
            *member = typed;
        }
    }
    fields.number(costPerMB_, costPerMBMember_);
    fields.integerInRange(freeMB_, freeMBMember_, 0, COptWarningsPage::kMaxMegabytes);
    fields.integerInRange(billingDay_, billingDayMember_, 1, 28);
    return fields.bad();
}

void COptPricePage::save() {
    SettingsStore& s = ctx_.settings;
    s.writeString(keys::kPrice, keys::kPricePerDial, formatFixed(pricePerDialMember_, 10));
    s.writeString(keys::kPrice, keys::kCheapCostPerMinute, formatFixed(cheapCostMember_, 10));
    s.writeString(keys::kPrice, keys::kCostPerMinute, formatFixed(costMember_, 10));
    const int from = cheapFrom_->currentIndex();
    const int to = cheapTo_->currentIndex();
    if (from >= 0) {
        s.writeInt(keys::kPrice, keys::kCheapTimeFromComboState, from);
    }
    if (to >= 0) {
        s.writeInt(keys::kPrice, keys::kCheapTimeToComboState, to);
    }
    if (from >= 0) {
        s.writeString(keys::kPrice, keys::kCheapTimeStart, cheapStartText(from));
    }
    if (to >= 0) {
        s.writeString(keys::kPrice, keys::kCheapTimeEnd, cheapEndText(to));
    }
    saveBox(cheapSat_, keys::kCheapInSat);
    saveBox(cheapSun_, keys::kCheapInSun);
    s.writeString(keys::kPrice, keys::kConnectionBlock, blockMember_);
    s.writeString(keys::kPrice, keys::kFreeMonthTime, freeTimeMember_);
    s.writeString(keys::kPrice, keys::kMinConTime, minTimeMember_);
    s.writeString(keys::kPrice, keys::kCostPerMB, formatFixed(costPerMBMember_, 10));
    s.writeInt(keys::kPrice, keys::kFreeMonthMB, freeMBMember_);
    s.writeInt(keys::kSettings, keys::kBillingDay, billingDayMember_);
}

// --- Upgrade -------------------------------------------------------------------------------------

COptUpgradePage::COptUpgradePage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox("Upgrade notification", this);
    auto* inner = new QVBoxLayout(group);
    for (const char* line :
         {"TAVU can periodically contact Varnel homepage to determine if a newer version is "
          "avaible. When a newer version is avaible, TAVU alerts you and provides a link to a "
          "web site",
          "where you can download new TAVU version. Only major versions can be downloaded this "
          "way."}) {
        QLabel* label = plainText(line, group);
        label->setWordWrap(true);
        inner->addWidget(label);
    }
    disable_ = new QCheckBox("Disable upgrade notification", group);
    disable_->setObjectName(keys::kDisableUpgrade);
    inner->addWidget(disable_);
    checkNow_ = new QPushButton("Check for upgrade avaiblity now", group);
    auto* row = new QHBoxLayout;
    row->addWidget(checkNow_);
    row->addStretch();
    inner->addLayout(row);
    layout->addWidget(group);
    layout->addStretch();
    connect(checkNow_, &QPushButton::clicked, this, [this] {
        if (ctx_.runCommand) {
            ctx_.runCommand(CmdCheckUpdate);
        }
    });
}

void COptUpgradePage::load() {
    loadBox(disable_, keys::kDisableUpgrade, 0);
}

void COptUpgradePage::save() {
    saveBox(disable_, keys::kDisableUpgrade);
}

}  // namespace tavu
