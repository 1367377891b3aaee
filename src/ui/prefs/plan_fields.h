#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <string>
#include <vector>

#include "tariff/plan.h"
#include "ui/prefs/option_pages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tavu {

class SettingsStore;

// One key of a plan as its fields would write it. `section` is where the default plan keeps the
// key (Price, Settings or Warnings); a plan keeps all its keys in its own section.
struct PlanEntry {
    const char* section;
    const char* key;
    std::string value;
    bool operator==(const PlanEntry&) const = default;
};

// What the controls of a group of fields show, by the controls' names (their keys): the text of
// each edit field, the entry of each drop-down list, the state of each check box. Typed text is
// kept as typed, valid or not.
using FieldState = QHash<QString, QVariant>;
FieldState captureFields(const QWidget* fields);
void restoreFields(QWidget* fields, const FieldState& state);
// Names the controls of a second copy of the fields "PREFIX/KEY", so that a search for a key
// finds the first copy's; the state of both copies still goes by the key.
void prefixFieldNames(QWidget* fields, const QString& prefix);

// The tariff of one plan: price per dial, cheap time, prices per minute, free and minimal times,
// billing block, data price, free data and billing day, laid out as the Price page shows them.
class PriceFields : public QWidget {
    Q_OBJECT

  public:
    explicit PriceFields(QWidget* parent);

    // Fills the fields from the keys of a plan. The default plan keeps the entries of the two
    // time lists as their indexes; a plan only as the times themselves.
    void load(const SettingsStore& settings, const PlanKeys& plan);
    // Takes the typed values in; the first bad field, or null.
    QLineEdit* collect(OptionPage::Fields& fields);
    // The keys as the last load or collect left them; `withListIndexes` adds the indexes of the
    // two time lists, as the default plan keeps them. A list that selects nothing writes
    // nothing.
    std::vector<PlanEntry> entries(bool withListIndexes) const;

  private:
    QLineEdit* pricePerDial_;
    QComboBox* cheapFrom_;
    QComboBox* cheapTo_;
    QCheckBox* cheapSat_;
    QCheckBox* cheapSun_;
    QLineEdit* cheapCost_;
    QLineEdit* cost_;
    QLineEdit* freeTime_;
    QLineEdit* minTime_;
    QLineEdit* block_;
    QLineEdit* costPerMB_;
    QLineEdit* freeMB_;
    QLineEdit* billingDay_;
    double pricePerDialMember_ = 0;
    double costPerMBMember_ = 0;
    int freeMBMember_ = 0;
    int billingDayMember_ = 1;
    double cheapCostMember_ = 0;
    double costMember_ = 0;
    std::string freeTimeMember_;
    std::string minTimeMember_;
    std::string blockMember_;
};

// The money limits and data caps of one plan, laid out as the Warnings page shows them.
class LimitFields : public QWidget {
    Q_OBJECT

  public:
    static constexpr double kMaxLimit = 100000;
    // The data caps, whole megabytes; 0 is no cap.
    static constexpr int kMaxMegabytes = 10000000;

    explicit LimitFields(QWidget* parent);

    void load(const SettingsStore& settings, const PlanKeys& plan);
    QLineEdit* collect(OptionPage::Fields& fields);
    std::vector<PlanEntry> entries() const;

  private:
    struct Limit {
        QCheckBox* box;
        QLineEdit* edit;
        const char* boxKey;
        const char* limitKey;
        double value = 1;
    };
    Limit limits_[4];
    QLineEdit* dataWarn_;
    QLineEdit* dataHangup_;
    int dataWarnMember_ = 0;
    int dataHangupMember_ = 0;
};

// Writes the default plan's keys where it keeps them, in one write.
void writeDefaultPlanEntries(SettingsStore& settings, const std::vector<PlanEntry>& entries);

}  // namespace tavu
