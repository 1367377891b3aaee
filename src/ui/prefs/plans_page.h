#pragma once

#include <string>
#include <vector>

#include "ui/prefs/option_pages.h"
#include "ui/prefs/plan_fields.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace tavu {

// The names of the page's own fields are "Plan/KEY".
inline constexpr const char* kPlanFieldPrefix = "Plan";

// The plans: "Default" first, then the [Plan NAME] sections in file order, each with its Match
// names, tariff, money limits and data caps. "Default" shows the fields of the Price and Warnings
// pages, the same values in two places. Nothing reaches the file before OK; then every plan
// section (added, renamed, removed and moved ones too) changes in one write.
class COptPlansPage : public OptionPage {
    Q_OBJECT

  public:
    COptPlansPage(PreferencesContext& context, QWidget* parent, COptPricePage* price,
                  COptWarningsPage* warnings);
    void load() override;
    QLineEdit* collect() override;
    void save() override;
    void takeEdits() override;

    // The buttons' work. Add and Rename ask for a name until it is a good one or the user
    // cancels; Delete asks "Are you sure ?".
    void addPlan();
    void renamePlan();
    void deletePlan();
    void movePlan(int by);

    QListWidget* list() const { return list_; }
    QLineEdit* matchEdit() const { return match_; }
    QTabWidget* tabs() const { return tabs_; }
    QPushButton* button(const char* name) const;
    // The plans' names as the list shows them, "Default" first.
    std::vector<std::string> names() const;
    // What is wrong with a name for the plan in row `row` (-1: a new plan); empty when good.
    std::string nameProblem(const std::string& name, int row) const;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Row {
        std::string name;
        std::string loadedName;
        std::string section;  // as read from the file; empty for a new plan
        QString match;
        FieldState price;
        FieldState limits;
        std::vector<PlanEntry> loaded;  // the keys as read (none for a new plan)
        std::vector<PlanEntry> collected;
        std::string loadedMatch;
    };

    // Shows row `row`'s values in the fields; keeps the fields' values in the shown row.
    void showRow(int row);
    void keepRow();
    void updateButtons();
    QString askName(const QString& caption, const QString& start, int row);
    std::vector<PlanEntry> fieldEntries() const;

    COptPricePage* pricePage_;
    COptWarningsPage* warningsPage_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* rename_;
    QPushButton* delete_;
    QPushButton* up_;
    QPushButton* down_;
    QLineEdit* match_;
    QLabel* problems_;
    QTabWidget* tabs_;
    PriceFields* priceFields_;
    LimitFields* limitFields_;
    std::vector<Row> rows_;             // rows_[0] is the default plan
    std::vector<std::string> removed_;  // the sections of deleted plans
    int shown_ = -1;
};

}  // namespace tavu
