#include "reports/report_pages.h"

#include "core/settings_store.h"
#include "monitor/log_record.h"

namespace tavu {

ReportPages::ReportPages(const SettingsStore& settings, const std::string& logPath)
    : tariff_(Tariff::read(settings)), rules_(BillingRules::read(settings)) {
    opened_ = index_.open(logPath);
    pages_.reserve(kPages);
}

const ReportRow& ReportPages::row(std::size_t i) {
    Page& page = pageFor(i - i % kPageRows);
    return page.rows[i - page.first];
}

ReportPages::Page& ReportPages::pageFor(std::size_t first) {
    ++uses_;
    Page* target = nullptr;
    for (Page& p : pages_) {
        if (p.first == first) {
            p.lastUse = uses_;
            return p;
        }
        if (target == nullptr || p.lastUse < target->lastUse) {
            target = &p;
        }
    }
    if (pages_.size() < kPages) {
        target = &pages_.emplace_back();
    }
    target->first = first;
    target->lastUse = uses_;
    target->rows.clear();
    index_.readRows(first, kPageRows, [&](std::size_t, std::string_view line) {
        target->rows.push_back(makeReportRow(splitRecord(line), tariff_, rules_));
    });
    return *target;
}

}  // namespace tavu
