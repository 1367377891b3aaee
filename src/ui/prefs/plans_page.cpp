#include "ui/prefs/plans_page.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "core/version.h"
#include "tariff/plan.h"

namespace tavu {

namespace {

constexpr const char* kMatchKey = "Match";
constexpr int kListRows = 5;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A problem of planNameProblem as a sentence of its own.
std::string sentence(std::string problem) {
    if (!problem.empty() && problem[0] >= 'a' && problem[0] <= 'z') {
        problem[0] = static_cast<char>(problem[0] - 'a' + 'A');
    }
    return problem + ".";
}

std::string planSection(const std::string& name) {
    return "Plan " + name;
}

const PlanEntry* entryOf(const std::vector<PlanEntry>& entries, const char* key) {
    for (const PlanEntry& e : entries) {
        if (std::string_view(e.key) == key) {
            return &e;
        }
    }
    return nullptr;
}

}  // namespace

COptPlansPage::COptPlansPage(PreferencesContext& context, QWidget* parent, COptPricePage* price,
                             COptWarningsPage* warnings)
    : OptionPage(context, parent), pricePage_(price), warningsPage_(warnings) {
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    list_ = new QListWidget(this);
    list_->setObjectName("Plans");
    list_->setAccessibleName(QStringLiteral("Plans"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setFixedHeight(list_->sizeHintForRow(0) > 0 ? list_->sizeHintForRow(0) * kListRows
                                                       : list_->fontMetrics().height() * kListRows +
                                                             2 * list_->frameWidth());
    top->addWidget(list_, 1);
    auto* buttons = new QVBoxLayout;
    const auto button = [&](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    add_ = button("&Add...", "Add");
    rename_ = button("Re&name...", "Rename");
    delete_ = button("&Delete", "Delete");
    up_ = button("&Up", "Up");
    down_ = button("Do&wn", "Down");
    buttons->addStretch();
    top->addLayout(buttons);
    layout->addLayout(top);

    problems_ = plainText("", this);
    problems_->setWordWrap(true);
    problems_->hide();
    layout->addWidget(problems_);

    auto* matchRow = new QHBoxLayout;
    auto* matchLabel = new QLabel("&Match:", this);
    match_ = new QLineEdit(this);
    match_->setObjectName(kMatchKey);
    match_->setAccessibleName(QStringLiteral("Match"));
    match_->setToolTip(
        "The connections and devices of this plan, separated by commas; "
        "a * at the end of a name matches any ending, as in ppp*");
    matchLabel->setBuddy(match_);
    matchRow->addWidget(matchLabel);
    matchRow->addWidget(match_, 1);
    layout->addLayout(matchRow);

    tabs_ = new QTabWidget(this);
    priceFields_ = new PriceFields(tabs_);
    limitFields_ = new LimitFields(tabs_);
    prefixFieldNames(priceFields_, kPlanFieldPrefix);
    prefixFieldNames(limitFields_, kPlanFieldPrefix);
    auto* limitsTab = new QWidget(tabs_);
    auto* limitsLayout = new QVBoxLayout(limitsTab);
    limitsLayout->setContentsMargins(0, 0, 0, 0);
    limitsLayout->addWidget(limitFields_);
    limitsLayout->addStretch();
    tabs_->addTab(priceFields_, "&Price");
    tabs_->addTab(limitsTab, "Warning&s");
    layout->addWidget(tabs_);
    layout->addStretch();

    setTabOrder(list_, add_);
    setTabOrder(add_, rename_);
    setTabOrder(rename_, delete_);
    setTabOrder(delete_, up_);
    setTabOrder(up_, down_);
    setTabOrder(down_, match_);
    setTabOrder(match_, tabs_);

    list_->installEventFilter(this);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        keepRow();
        showRow(row);
    });
    connect(add_, &QPushButton::clicked, this, &COptPlansPage::addPlan);
    connect(rename_, &QPushButton::clicked, this, &COptPlansPage::renamePlan);
    connect(delete_, &QPushButton::clicked, this, &COptPlansPage::deletePlan);
    connect(up_, &QPushButton::clicked, this, [this] { movePlan(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { movePlan(1); });
}

QPushButton* COptPlansPage::button(const char* name) const {
    return findChild<QPushButton*>(name);
}

std::vector<std::string> COptPlansPage::names() const {
    std::vector<std::string> out;
    for (const Row& r : rows_) {
        out.push_back(r.name);
    }
    return out;
}

std::vector<PlanEntry> COptPlansPage::fieldEntries() const {
    std::vector<PlanEntry> out = priceFields_->entries(false);
    const std::vector<PlanEntry> limits = limitFields_->entries();
    out.insert(out.end(), limits.begin(), limits.end());
    return out;
}

void COptPlansPage::load() {
    const PlanSet plans = readPlans(ctx_.settings);
    rows_.clear();
    removed_.clear();
    shown_ = -1;
    Row defaultPlan;
    defaultPlan.name = kDefaultPlanName;
    rows_.push_back(std::move(defaultPlan));
    for (const Plan& plan : plans.plans) {
        const PlanKeys keys(plan);
        priceFields_->load(ctx_.settings, keys);
        limitFields_->load(ctx_.settings, keys);
        Row row;
        row.name = plan.name;
        row.loadedName = plan.name;
        row.section = plan.section;
        row.loadedMatch = ctx_.settings.readString(plan.section, kMatchKey);
        row.match = qs(row.loadedMatch);
        row.price = captureFields(priceFields_);
        row.limits = captureFields(limitFields_);
        row.loaded = fieldEntries();
        rows_.push_back(std::move(row));
    }
    std::string problems;
    for (const std::string& p : plans.problems) {
        problems += (problems.empty() ? "" : "\n") + p;
    }
    problems_->setText(qs(problems));
    problems_->setVisible(!problems.empty());

    const QSignalBlocker block(list_);
    list_->clear();
    for (const Row& r : rows_) {
        list_->addItem(qs(r.name));
    }
    list_->setCurrentRow(0);
    showRow(0);
}

void COptPlansPage::showRow(int row) {
    shown_ = row;
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        shown_ = -1;
        updateButtons();
        return;
    }
    if (row == 0) {
        // The default plan's values are those of the Price and Warnings pages.
        restoreFields(priceFields_, captureFields(pricePage_->fields()));
        restoreFields(limitFields_, captureFields(warningsPage_->fields()));
        match_->clear();
        match_->setEnabled(false);
    } else {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        restoreFields(priceFields_, r.price);
        restoreFields(limitFields_, r.limits);
        match_->setText(r.match);
        match_->setEnabled(true);
    }
    updateButtons();
}

void COptPlansPage::keepRow() {
    if (shown_ < 0 || shown_ >= static_cast<int>(rows_.size())) {
        return;
    }
    if (shown_ == 0) {
        restoreFields(pricePage_->fields(), captureFields(priceFields_));
        restoreFields(warningsPage_->fields(), captureFields(limitFields_));
        return;
    }
    Row& r = rows_[static_cast<std::size_t>(shown_)];
    r.price = captureFields(priceFields_);
    r.limits = captureFields(limitFields_);
    r.match = match_->text();
}

void COptPlansPage::updateButtons() {
    const int row = list_->currentRow();
    const int count = static_cast<int>(rows_.size());
    rename_->setEnabled(row >= 1);
    delete_->setEnabled(row >= 1);
    up_->setEnabled(row >= 2);
    down_->setEnabled(row >= 1 && row + 1 < count);
}

void COptPlansPage::showEvent(QShowEvent* event) {
    // The Price and Warnings pages may have changed the default plan meanwhile.
    showRow(list_->currentRow());
    OptionPage::showEvent(event);
}

void COptPlansPage::hideEvent(QHideEvent* event) {
    keepRow();
    OptionPage::hideEvent(event);
}

void COptPlansPage::takeEdits() {
    // Hidden, the page has handed its values on already, and the Price page may have newer ones.
    if (isVisible()) {
        keepRow();
    }
}

bool COptPlansPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            deletePlan();
            return true;
        }
        if (key == Qt::Key_F2) {
            renamePlan();
            return true;
        }
        if (key == Qt::Key_Insert) {
            addPlan();
            return true;
        }
    }
    return OptionPage::eventFilter(watched, event);
}

std::string COptPlansPage::nameProblem(const std::string& name, int row) const {
    if (const std::string problem = planNameProblem(name); !problem.empty()) {
        return sentence(problem);
    }
    for (std::size_t i = 1; i < rows_.size(); ++i) {
        if (static_cast<int>(i) != row && equalsIgnoreCase(rows_[i].name, name)) {
            return "There is a plan \"" + rows_[i].name +
                   "\" already. Plan names are the same whatever the case of their letters.";
        }
    }
    return {};
}

QString COptPlansPage::askName(const QString& caption, const QString& start, int row) {
    QString typed = start;
    while (true) {
        QString answer;
        if (ctx_.askPlanName) {
            answer = ctx_.askPlanName(this, caption, typed);
        } else {
            bool ok = false;
            answer =
                QInputDialog::getText(this, caption, "Plan name:", QLineEdit::Normal, typed, &ok);
            if (!ok) {
                answer = QString();
            }
        }
        if (answer.isNull()) {
            return {};
        }
        const std::string name = answer.trimmed().toStdString();
        const std::string problem = nameProblem(name, row);
        if (problem.empty()) {
            return qs(name);
        }
        ctx_.prompter.show(Message{problem, kAppTitle, Buttons::Ok, Icon::Warning});
        typed = answer;  // asked again with what was typed
    }
}

void COptPlansPage::addPlan() {
    const QString name = askName("Add plan", QString(), -1);
    if (name.isNull()) {
        return;
    }
    keepRow();
    // A new plan starts from the default plan's values.
    Row row;
    row.name = name.toStdString();
    row.price = captureFields(pricePage_->fields());
    row.limits = captureFields(warningsPage_->fields());
    rows_.push_back(std::move(row));
    shown_ = -1;
    list_->addItem(name);
    list_->setCurrentRow(static_cast<int>(rows_.size()) - 1);
    match_->setFocus();
}

void COptPlansPage::renamePlan() {
    const int row = list_->currentRow();
    if (row < 1) {
        return;
    }
    Row& r = rows_[static_cast<std::size_t>(row)];
    const QString name = askName("Rename plan", qs(r.name), row);
    if (name.isNull()) {
        return;
    }
    rows_[static_cast<std::size_t>(row)].name = name.toStdString();
    list_->item(row)->setText(name);
}

void COptPlansPage::deletePlan() {
    const int row = list_->currentRow();
    if (row < 1) {
        return;  // the default plan stays
    }
    const std::string& name = rows_[static_cast<std::size_t>(row)].name;
    if (ctx_.prompter.show(Message{"You are about to delete plan " + name + ". Are you sure ?",
                                   "Are you sure ?", Buttons::YesNo, Icon::Question}) !=
        Answer::Yes) {
        return;
    }
    if (!rows_[static_cast<std::size_t>(row)].section.empty()) {
        removed_.push_back(rows_[static_cast<std::size_t>(row)].section);
    }
    shown_ = -1;
    rows_.erase(rows_.begin() + row);
    {
        const QSignalBlocker block(list_);
        delete list_->takeItem(row);
    }
    const int next = std::min(row, static_cast<int>(rows_.size()) - 1);
    list_->setCurrentRow(next);
    showRow(next);
}

void COptPlansPage::movePlan(int by) {
    const int row = list_->currentRow();
    const int to = row + by;
    if (row < 1 || to < 1 || to >= static_cast<int>(rows_.size())) {
        return;
    }
    keepRow();
    std::swap(rows_[static_cast<std::size_t>(row)], rows_[static_cast<std::size_t>(to)]);
    shown_ = -1;
    {
        const QSignalBlocker block(list_);
        QListWidgetItem* item = list_->takeItem(row);
        list_->insertItem(to, item);
        list_->setCurrentRow(to);
    }
    showRow(to);
}

QLineEdit* COptPlansPage::collect() {
    takeEdits();
    QLineEdit* bad = nullptr;
    for (std::size_t i = 1; i < rows_.size() && bad == nullptr; ++i) {
        Row& r = rows_[i];
        restoreFields(priceFields_, r.price);
        restoreFields(limitFields_, r.limits);
        Fields fields(*this);
        priceFields_->collect(fields);
        limitFields_->collect(fields);
        bad = fields.bad();
        if (bad != nullptr) {
            // The plan and the tab of the bad field, as they were typed.
            shown_ = -1;
            {
                const QSignalBlocker block(list_);
                list_->setCurrentRow(static_cast<int>(i));
            }
            showRow(static_cast<int>(i));
            tabs_->setCurrentIndex(tabs_->widget(0)->isAncestorOf(bad) ? 0 : 1);
            return bad;
        }
        r.collected = fieldEntries();
    }
    showRow(shown_);
    return nullptr;
}

void COptPlansPage::save() {
    const auto finalSection = [](const Row& r) {
        return r.section.empty() || r.name != r.loadedName ? planSection(r.name) : r.section;
    };
    ctx_.settings.edit([&](IniDocument& doc) {
        bool changed = false;
        for (const std::string& section : removed_) {
            changed = doc.removeSection(section) || changed;
        }
        // Renames go through names no plan can have, so that two plans may trade names.
        std::vector<std::pair<std::string, std::string>> renames;
        for (std::size_t i = 1; i < rows_.size(); ++i) {
            const Row& r = rows_[i];
            if (!r.section.empty() && r.name != r.loadedName) {
                const std::string passing = "Plan \x01" + std::to_string(i);
                if (doc.renameSection(r.section, passing)) {
                    renames.emplace_back(passing, planSection(r.name));
                }
            }
        }
        for (const auto& [from, to] : renames) {
            changed = doc.renameSection(from, to) || changed;
        }
        for (std::size_t i = 1; i < rows_.size(); ++i) {
            const Row& r = rows_[i];
            const std::string section = finalSection(r);
            const std::string match = r.match.toStdString();
            if (r.section.empty() || match != r.loadedMatch) {
                changed = doc.set(section, kMatchKey, match) || changed;
            }
            // Only what changed: a key the file lacks and the page left as it read stays out.
            for (const PlanEntry& e : r.collected) {
                const PlanEntry* before = entryOf(r.loaded, e.key);
                if (r.section.empty() || before == nullptr || before->value != e.value) {
                    changed = doc.set(section, e.key, e.value) || changed;
                }
            }
        }
        // The order of the list, when the file's differs.
        std::vector<std::string> wanted;
        for (std::size_t i = 1; i < rows_.size(); ++i) {
            wanted.push_back(finalSection(rows_[i]));
        }
        std::vector<std::string> order;
        for (const std::string& s : doc.sectionNames()) {
            const bool isWanted = std::any_of(wanted.begin(), wanted.end(), [&](const auto& w) {
                return equalsIgnoreCase(w, s);
            });
            const bool seen = std::any_of(order.begin(), order.end(),
                                          [&](const auto& o) { return equalsIgnoreCase(o, s); });
            if (isWanted && !seen) {
                order.push_back(s);
            }
        }
        const bool sameOrder =
            order.size() == wanted.size() &&
            std::equal(order.begin(), order.end(), wanted.begin(),
                       [](const auto& a, const auto& b) { return equalsIgnoreCase(a, b); });
        if (!sameOrder && wanted.size() > 1) {
            for (std::size_t i = wanted.size() - 1; i-- > 0;) {
                changed = doc.moveSection(wanted[i], wanted[i + 1]) || changed;
            }
        }
        return changed;
    });
    // What is in the file now is what the page loaded.
    for (std::size_t i = 1; i < rows_.size(); ++i) {
        Row& r = rows_[i];
        r.section = finalSection(r);
        r.loadedName = r.name;
        r.loadedMatch = r.match.toStdString();
        r.loaded = r.collected;
    }
    removed_.clear();
}

}  // namespace tavu
