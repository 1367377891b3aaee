#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "log/log_index.h"
#include "reports/report_rows.h"
#include "tariff/plan.h"
#include "tariff/tariff.h"

namespace tavu {

class SettingsStore;

// The report's rows, newest first, read from the log and priced only when they are asked for.
// The plans and their tariffs are read once, when the rows are opened; each row is priced by
// the plan of its connection. Rows are read a
// page at a time and the pages last used are kept, so the memory used does not grow with the
// log beyond its index.
class ReportPages {
  public:
    // Indexes the log at logPath; a log that cannot be opened gives no rows.
    ReportPages(const SettingsStore& settings, const std::string& logPath);

    bool opened() const { return opened_; }
    // The rows shown: all the log's, or those of the plan chosen.
    std::size_t size() const { return ordered_ ? order_.size() : index_.size(); }

    // Row i, 0 being the first row shown (the newest record until sortBy); i must be below
    // size(). The reference holds until the next call.
    const ReportRow& row(std::size_t i);

    // Orders the rows by one of the ten columns: the date with the start time, the duration,
    // the volumes and the price by value, the other columns as their text; rows that are equal
    // there keep their order, newest first. A column outside 0..9 restores the log's order.
    void sortBy(int column, bool ascending);
    // Shows only the records of one plan ("Default" for the default plan), in the order
    // chosen; an empty name, or a name no plan has, shows every record.
    void showPlan(const std::string& name);

    static constexpr std::size_t kPageRows = 64;
    static constexpr std::size_t kPages = 16;

  private:
    struct Page {
        std::size_t first = 0;
        std::uint64_t lastUse = 0;
        std::vector<ReportRow> rows;
    };
    Page& pageFor(std::size_t first);
    // The record's plan, as a place in tariffs_ and rules_ (0: the default plan).
    std::size_t planOf(const LogFields& f) const;
    ReportRow makeRow(const LogFields& f) const;

    LogIndex index_;
    PlanSet plans_;
    std::vector<Tariff> tariffs_;
    std::vector<BillingRules> rules_;
    bool opened_ = false;
    std::vector<Page> pages_;
    // The rows in the order chosen (empty: the log's order), and whether each is of the plan
    // chosen (empty: all are).
    std::vector<std::uint32_t> sorted_;
    std::vector<char> inPlan_;
    // What is shown: shown row -> row of the index, when ordered_; else the index's rows.
    std::vector<std::uint32_t> order_;
    bool ordered_ = false;
    void applyOrder();
    std::vector<std::uint32_t> sortedRows(int column, bool ascending) const;
    std::uint64_t uses_ = 0;
};

}  // namespace tavu
