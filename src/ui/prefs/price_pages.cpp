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
#include <tuple>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "monitor/commands.h"
#include "tariff/billing_period.h"
#include "tariff/price_fields.h"
#include "tariff/tariff.h"
#include "ui/prefs/option_pages.h"
#include "ui/prefs/plan_fields.h"

namespace tavu {

namespace {

QString numberText(double value) {
    return QString::fromStdString(formatNumberField(value));
}

// A stored count of megabytes as its field shows it: a value the field would refuse is shown as
// the nearest it takes (a negative one, which counts as none, as 0).
int megabytesField(int stored) {
    return std::clamp(stored, 0, LimitFields::kMaxMegabytes);
}

}  // namespace

// --- The fields of a plan ------------------------------------------------------------------------

namespace {

// The key of a control: its name, without the prefix a second copy of the fields puts in front.
QString keyOf(const QObject* control) {
    return control->objectName().section(QLatin1Char('/'), -1);
}

}  // namespace

FieldState captureFields(const QWidget* fields) {
    FieldState state;
    for (const QLineEdit* e : fields->findChildren<QLineEdit*>()) {
        if (!e->objectName().isEmpty()) {
            state.insert(keyOf(e), e->text());
        }
    }
    for (const QComboBox* c : fields->findChildren<QComboBox*>()) {
        state.insert(keyOf(c), c->currentIndex());
    }
    for (const QCheckBox* b : fields->findChildren<QCheckBox*>()) {
        state.insert(keyOf(b), b->isChecked());
    }
    return state;
}

void restoreFields(QWidget* fields, const FieldState& state) {
    for (QLineEdit* e : fields->findChildren<QLineEdit*>()) {
        if (const auto it = state.find(keyOf(e)); it != state.end()) {
            e->setText(it->toString());
        }
    }
    for (QComboBox* c : fields->findChildren<QComboBox*>()) {
        if (const auto it = state.find(keyOf(c)); it != state.end()) {
            c->setCurrentIndex(it->toInt());
        }
    }
    for (QCheckBox* b : fields->findChildren<QCheckBox*>()) {
        if (const auto it = state.find(keyOf(b)); it != state.end()) {
            b->setChecked(it->toBool());
        }
    }
}

void prefixFieldNames(QWidget* fields, const QString& prefix) {
    for (QWidget* w : fields->findChildren<QWidget*>()) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"))) {
            w->setObjectName(prefix + QLatin1Char('/') + w->objectName());
        }
    }
}

LimitFields::LimitFields(QWidget* parent)
    : QWidget(parent),
      limits_{{nullptr, nullptr, keys::kWarnWhenMonth, keys::kWarnWhenMonthInterval},
              {nullptr, nullptr, keys::kWarnWhenCall, keys::kWarnWhenCallInterval},
              {nullptr, nullptr, keys::kDisWhenMonth, keys::kDisWhenMonthInterval},
              {nullptr, nullptr, keys::kDisWhenCall, keys::kDisWhenCallInterval}} {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
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
}

void LimitFields::load(const SettingsStore& settings, const PlanKeys& plan) {
    for (Limit& l : limits_) {
        l.box->setChecked(moneyLimitOn(settings, l.boxKey, plan));
        l.value = readMoneyLimit(settings, l.limitKey, plan);
    }
    for (Limit& l : limits_) {
        l.edit->setText(numberText(l.value));
    }
    dataWarnMember_ = megabytesField(dataCapMB(settings, keys::kDataWarnMB, plan));
    dataHangupMember_ = megabytesField(dataCapMB(settings, keys::kDataHangupMB, plan));
    dataWarn_->setText(QString::number(dataWarnMember_));
    dataHangup_->setText(QString::number(dataHangupMember_));
}

QLineEdit* LimitFields::collect(OptionPage::Fields& fields) {
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

std::vector<PlanEntry> LimitFields::entries() const {
    std::vector<PlanEntry> out;
    for (const Limit& l : limits_) {
        out.push_back({keys::kSettings, l.boxKey, l.box->isChecked() ? "1" : "0"});
    }
    for (const Limit& l : limits_) {
        out.push_back({keys::kSettings, l.limitKey, formatNumberField(l.value)});
    }
    out.push_back({keys::kWarnings, keys::kDataWarnMB, std::to_string(dataWarnMember_)});
    out.push_back({keys::kWarnings, keys::kDataHangupMB, std::to_string(dataHangupMember_)});
    return out;
}

PriceFields::PriceFields(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

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
}

void PriceFields::load(const SettingsStore& s, const PlanKeys& plan) {
    const std::string_view price = plan.section(keys::kPrice);
    const std::string_view settings = plan.section(keys::kSettings);
    cheapSat_->setChecked(s.readInt(settings, keys::kCheapInSat, 0) == 1);
    cheapSun_->setChecked(s.readInt(settings, keys::kCheapInSun, 0) == 1);
    pricePerDialMember_ = leadingDouble(s.readString(price, keys::kPricePerDial));
    cheapCostMember_ = leadingDouble(s.readString(price, keys::kCheapCostPerMinute));
    costMember_ = leadingDouble(s.readString(price, keys::kCostPerMinute));
    if (plan.isDefault()) {
        // An index outside the lists selects nothing.
        for (auto [combo, key, def] :
             {std::tuple{cheapFrom_, keys::kCheapTimeFromComboState, kCheapStartDefaultIndex},
              std::tuple{cheapTo_, keys::kCheapTimeToComboState, kCheapEndDefaultIndex}}) {
            const int index = s.readInt(price, key, def);
            combo->setCurrentIndex(index >= 0 && index < kCheapListSize ? index : -1);
        }
    } else {
        // The entry that stands for the time the tariff reads; none when no entry does.
        for (auto [combo, key, text] :
             {std::tuple{cheapFrom_, keys::kCheapTimeStart, &cheapStartText},
              std::tuple{cheapTo_, keys::kCheapTimeEnd, &cheapEndText}}) {
            const std::int64_t stored = tariffTimeSeconds(s.readString(price, key));
            int index = -1;
            for (int i = 0; i < kCheapListSize && index < 0; ++i) {
                index = tariffTimeSeconds(text(i)) == stored ? i : -1;
            }
            combo->setCurrentIndex(index);
        }
    }
    blockMember_ = s.readString(price, keys::kConnectionBlock, "00:00");
    freeTimeMember_ = s.readString(price, keys::kFreeMonthTime, "00:00");
    minTimeMember_ = s.readString(price, keys::kMinConTime, "00:00");
    costPerMBMember_ = leadingDouble(s.readString(price, keys::kCostPerMB));
    freeMBMember_ = megabytesField(s.readInt(price, keys::kFreeMonthMB, 0));
    billingDayMember_ = billingDay(s, plan);

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

QLineEdit* PriceFields::collect(OptionPage::Fields& fields) {
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
    fields.integerInRange(freeMB_, freeMBMember_, 0, LimitFields::kMaxMegabytes);
    fields.integerInRange(billingDay_, billingDayMember_, 1, 28);
    return fields.bad();
}

std::vector<PlanEntry> PriceFields::entries(bool withListIndexes) const {
    std::vector<PlanEntry> out;
    const auto price = [&](const char* key, std::string value) {
        out.push_back({keys::kPrice, key, std::move(value)});
    };
    price(keys::kPricePerDial, formatFixed(pricePerDialMember_, 10));
    price(keys::kCheapCostPerMinute, formatFixed(cheapCostMember_, 10));
    price(keys::kCostPerMinute, formatFixed(costMember_, 10));
    const int from = cheapFrom_->currentIndex();
    const int to = cheapTo_->currentIndex();
    if (withListIndexes && from >= 0) {
        price(keys::kCheapTimeFromComboState, std::to_string(from));
    }
    if (withListIndexes && to >= 0) {
        price(keys::kCheapTimeToComboState, std::to_string(to));
    }
    if (from >= 0) {
        price(keys::kCheapTimeStart, cheapStartText(from));
    }
    if (to >= 0) {
        price(keys::kCheapTimeEnd, cheapEndText(to));
    }
    out.push_back({keys::kSettings, keys::kCheapInSat, cheapSat_->isChecked() ? "1" : "0"});
    out.push_back({keys::kSettings, keys::kCheapInSun, cheapSun_->isChecked() ? "1" : "0"});
    price(keys::kConnectionBlock, blockMember_);
    price(keys::kFreeMonthTime, freeTimeMember_);
    price(keys::kMinConTime, minTimeMember_);
    price(keys::kCostPerMB, formatFixed(costPerMBMember_, 10));
    price(keys::kFreeMonthMB, std::to_string(freeMBMember_));
    out.push_back({keys::kSettings, keys::kBillingDay, std::to_string(billingDayMember_)});
    return out;
}

void writeDefaultPlanEntries(SettingsStore& settings, const std::vector<PlanEntry>& entries) {
    std::vector<SettingsStore::Entry> out;
    for (const PlanEntry& e : entries) {
        out.push_back({e.section, e.key, e.value});
    }
    settings.writeMany(out);
}

// --- Warnings ------------------------------------------------------------------------------------

COptWarningsPage::COptWarningsPage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    fields_ = new LimitFields(this);
    layout->addWidget(fields_);
    layout->addStretch();
}

void COptWarningsPage::load() {
    fields_->load(ctx_.settings, {});
}

QLineEdit* COptWarningsPage::collect() {
    Fields fields(*this);
    return fields_->collect(fields);
}

void COptWarningsPage::save() {
    writeDefaultPlanEntries(ctx_.settings, fields_->entries());
}

// --- Price ---------------------------------------------------------------------------------------

COptPricePage::COptPricePage(PreferencesContext& context, QWidget* parent)
    : OptionPage(context, parent) {
    auto* layout = new QVBoxLayout(this);
    fields_ = new PriceFields(this);
    layout->addWidget(fields_);
    layout->addStretch();
}

void COptPricePage::load() {
    fields_->load(ctx_.settings, {});
}

QLineEdit* COptPricePage::collect() {
    Fields fields(*this);
    return fields_->collect(fields);
}

void COptPricePage::save() {
    writeDefaultPlanEntries(ctx_.settings, fields_->entries(true));
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
