// `tavu usage`: the log's usage where it happened, one row per hour, day, month or billing
// period.

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "ledger/usage_ledger.h"
#include "log/log_file.h"
#include "tariff/billing_period.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"

namespace tavu {

namespace {

// The longest span counted: the hours of a century are a few tens of megabytes.
constexpr std::int64_t kMaxDays = 36525;

int usage(CliContext& context, const std::string& why) {
    context.err << "tavu: " << why << " (see tavu --help)\n";
    return 2;
}

// A date written YYYY-MM-DD that the calendar has; an invalid LogDate for anything else.
LogDate parseIsoDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
        text.find_first_not_of("0123456789-") != std::string::npos) {
        return {};
    }
    const auto number = [&](std::size_t at, std::size_t n) {
        std::int64_t v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return std::int64_t{-1};
            }
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    const LogDate d{number(8, 2), number(5, 2), number(0, 4)};
    if (d.year < 1970 || !d.valid() || LogDate::fromDaysSinceEpoch(d.daysSinceEpoch()) != d) {
        return {};
    }
    return d;
}

std::string twoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

// The bucket's local start in ISO 8601, to the minute.
std::string isoStart(const LocalDateTime& t) {
    return std::to_string(t.year) + "-" + twoDigits(t.month) + "-" + twoDigits(t.day) + "T" +
           twoDigits(t.hour) + ":" + twoDigits(t.minute);
}

std::string isoDate(const LogDate& d) {
    return std::to_string(d.year) + "-" + twoDigits(static_cast<int>(d.month)) + "-" +
           twoDigits(static_cast<int>(d.day));
}

const char* byName(UsageBy by) {
    switch (by) {
        case UsageBy::Hour:
            return "hour";
        case UsageBy::Day:
            return "day";
        case UsageBy::Month:
            return "month";
        case UsageBy::Period:
            return "period";
    }
    return "day";
}

int runUsageCommand(CliContext& context, const std::vector<std::string>& args) {
    UsageBy by = UsageBy::Day;
    ReportFormat format = ReportFormat::Tsv;
    std::optional<LogDate> from;
    std::optional<LogDate> to;
    std::optional<std::string> plan;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        const bool inline_ = name.rfind("--", 0) == 0 && name.find('=') != std::string::npos;
        if (inline_) {
            value = name.substr(name.find('=') + 1);
            name.resize(name.find('='));
        } else if (i + 1 < args.size()) {
            value = args[i + 1];
        }
        if (name == "--by") {
            if (value && *value == "hour") {
                by = UsageBy::Hour;
            } else if (value && *value == "day") {
                by = UsageBy::Day;
            } else if (value && *value == "month") {
                by = UsageBy::Month;
            } else if (value && *value == "period") {
                by = UsageBy::Period;
            } else {
                return usage(context, "--by needs hour, day, month or period");
            }
        } else if (name == "--from" || name == "--to") {
            const LogDate d = value ? parseIsoDate(*value) : LogDate{};
            if (!d.valid()) {
                return usage(context, name + " needs a date YYYY-MM-DD");
            }
            (name == "--from" ? from : to) = d;
        } else if (name == "--plan") {
            if (!value || value->empty()) {
                return usage(context, "--plan needs the name of a plan");
            }
            plan = *value;
        } else if (name == "--format") {
            const auto f = value ? reportFormatNamed(*value) : std::nullopt;
            if (!f) {
                return usage(context, "--format needs tsv, csv or json");
            }
            format = *f;
        } else {
            return usage(context, "usage does not take \"" + args[i] + "\"");
        }
        if (!inline_) {
            ++i;
        }
    }
    if (from && to && to->daysSinceEpoch() < from->daysSinceEpoch()) {
        return usage(context, "--to comes before --from");
    }
    // A date far off is checked against today's.
    const LocalDateTime now = context.clock.localNow();
    const LogDate today{now.day, now.month, now.year};
    if ((from ? *from : today).daysSinceEpoch() + kMaxDays < (to ? *to : today).daysSinceEpoch()) {
        return usage(context, "--from and --to may be at most 100 years apart");
    }
    if (!logFoldersExist(context.configDir, context.err)) {
        return 1;
    }
    const SettingsStore settings(joinPath(context.configDir, kSettingsFileName));
    const PlanSet plans = readPlans(settings);
    if (plan) {
        if (!planExists(settings, *plan, context.err)) {
            return 2;
        }
    }
    // Without dates: the current billing period (of the plan asked for) up to today.
    if (!from) {
        const BillingPeriod p =
            currentBillingPeriod(settings, now, PlanKeys::of(plan ? plans.find(*plan) : nullptr));
        from = LogDate{p.day, p.month, p.year};
    }
    if (!to) {
        to = today.daysSinceEpoch() < from->daysSinceEpoch() ? *from : today;
    }
    if (to->daysSinceEpoch() < from->daysSinceEpoch()) {
        return usage(context, "--to comes before --from");
    }
    const std::string log = logFilePath(settings, context.configDir);
    // The kept sums, made beside the log when missing; the connection in progress that a
    // monitor journals counts as if it ended at its last write. Only the days asked for are listed.
    UsageLedger ledger(settings, log, LedgerOptions{.progress = {}, .create = true});
    const std::vector<UsageBucket> buckets =
        ledger.buckets(by, *from, *to, now, plan.value_or(std::string()), ledger.journaled());
    if (const std::string problem = ledger.problem(); !problem.empty()) {
        context.err << "tavu: " << problem << '\n';
    }

    std::ostream& out = context.out;
    const auto row = [](const UsageBucket& b, char sep) {
        return isoStart(b.start) + sep + std::to_string(b.seconds) + sep +
               formatFixed(b.uploaded, 0) + sep + formatFixed(b.downloaded, 0) + sep +
               formatFixed(b.cost, 4);
    };
    if (format == ReportFormat::Json) {
        out << "{\"by\":\"" << byName(by) << "\",\"from\":\"" << isoDate(*from) << "\",\"to\":\""
            << isoDate(*to) << "\",\"buckets\":[";
        for (std::size_t i = 0; i < buckets.size(); ++i) {
            const UsageBucket& b = buckets[i];
            out << (i == 0 ? "" : ",") << "{\"start\":\"" << isoStart(b.start)
                << "\",\"seconds\":" << b.seconds << ",\"uploaded\":" << formatFixed(b.uploaded, 0)
                << ",\"downloaded\":" << formatFixed(b.downloaded, 0)
                << ",\"cost\":" << formatFixed(b.cost, 4) << "}";
        }
        out << "]}\n";
    } else {
        const char sep = format == ReportFormat::Csv ? ',' : '\t';
        const char* eol = format == ReportFormat::Csv ? "\r\n" : "\n";
        out << "start" << sep << "seconds" << sep << "uploaded" << sep << "downloaded" << sep
            << "cost" << eol;
        for (const UsageBucket& b : buckets) {
            out << row(b, sep) << eol;
        }
    }
    out.flush();
    return out.good() ? 0 : 1;
}

}  // namespace

const Subcommand& usageSubcommand() {
    // clang-format off
    static const Subcommand usage{
        "usage", "  tavu usage [--config-dir DIR] [--by hour|day|month|period] [--from YYYY-MM-DD]\n"
                 "             [--to YYYY-MM-DD] [--format tsv|csv|json] [--plan NAME]\n"
                 "                                              print the usage where it happened, one row a bucket\n",
        runUsageCommand, true};
    // clang-format on
    return usage;
}

}  // namespace tavu
