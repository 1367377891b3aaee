#include <memory>
#include <ostream>

#include "app/cli.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "ledger/usage_ledger.h"
#include "log/log_file.h"
#include "reports/report_rows.h"
#include "tariff/plan.h"

namespace tavu {

namespace {

// Options of the window system that the program passes on untouched, each with one value.
bool isToolkitOption(const std::string& a) {
    return a == "-platform" || a == "-display" || a == "-style" || a == "-qwindowgeometry" ||
           a == "-qwindowtitle" || a == "-session";
}

// The report and the summary only read: a folder that is not there is a mistyped name, told
// as such, and nothing is created.
bool checkFolder(const std::string& dir, std::ostream& err) {
    if (isDirectory(dir)) {
        return true;
    }
    err << "no such folder: " << dir << '\n';
    return false;
}

bool checkLogFolder(const SettingsStore& settings, const std::string& configDir,
                    std::ostream& err) {
    const std::string log = logFilePath(settings, configDir);
    const auto slash = log.rfind('/');
    return slash == std::string::npos || checkFolder(slash == 0 ? "/" : log.substr(0, slash), err);
}

int runReport(const std::string& configDir, const CommandLine& c, const Clock& clock,
              std::ostream& out, std::ostream& err) {
    if (!checkFolder(configDir, err)) {
        return 1;
    }
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    if (!checkLogFolder(settings, configDir, err)) {
        return 1;
    }
    if (c.plan && !planExists(settings, *c.plan, err)) {
        return 2;
    }
    std::string problem;
    const bool written = writeReport(settings, logFilePath(settings, configDir), c.format,
                                     c.filter.value_or(SummaryFilter::All), clock.localNow(), out,
                                     c.plan.value_or(std::string()), &problem);
    if (!problem.empty()) {
        err << "tavu: " << problem << '\n';
    }
    return written ? 0 : 1;
}

int runSummary(const std::string& configDir, const std::optional<SummaryFilter>& filter,
               const std::optional<std::string>& plan, ReportFormat format, const Clock& clock,
               std::ostream& out, std::ostream& err) {
    if (!checkFolder(configDir, err)) {
        return 1;
    }
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    if (!checkLogFolder(settings, configDir, err)) {
        return 1;
    }
    if (plan && !planExists(settings, *plan, err)) {
        return 2;
    }
    const std::string log = logFilePath(settings, configDir);
    const LocalDateTime today = clock.localNow();
    const SummaryFilter counted = filter.value_or(storedSummaryFilter(settings));
    // The kept sums, made beside the log when missing; the connection in progress that a
    // monitor journals counts as if it ended at its last write.
    UsageLedger ledger(settings, log, LedgerOptions{.progress = {}, .create = true});
    const LogTotals totals =
        ledger.totals(counted, today, plan.value_or(std::string()), ledger.journaled());
    // All prices every record whole: its figures never depend on the store, and nothing is
    // said about it there.
    if (const std::string problem = ledger.problem();
        !problem.empty() && counted != SummaryFilter::All) {
        err << "tavu: " << problem << '\n';
    }
    std::vector<SummaryLine> lines = summaryValues(totals);
    if (totals.periodsOfAllPlans) {
        // Several plans, each counted over its own current period.
        lines.insert(lines.begin(), SummaryLine{"Period", kAllPlansPeriodsCaption});
    }
    if (format == ReportFormat::Json) {
        out << summaryJson(lines) << '\n';
        return out.good() ? 0 : 1;
    }
    for (const SummaryLine& l : lines) {
        out << l.label << '\t' << l.value << '\n';
    }
    return out.good() ? 0 : 1;
}

}  // namespace

bool planExists(const SettingsStore& settings, const std::string& plan, std::ostream& err) {
    const PlanSet plans = readPlans(settings);
    if (const std::string problem = planChoiceProblem(plans, plan); !problem.empty()) {
        // The settings' own plan problems may be why.
        for (const std::string& p : plans.problems) {
            err << "tavu: " << p << '\n';
        }
        err << "tavu: " << problem << '\n';
        return false;
    }
    return true;
}

bool logFoldersExist(const std::string& configDir, std::ostream& err) {
    return checkFolder(configDir, err) &&
           checkLogFolder(SettingsStore(joinPath(configDir, kSettingsFileName)), configDir, err);
}

bool splitSubcommandLine(const std::vector<std::string>& args, std::string& name,
                         std::vector<std::string>& rest, std::optional<std::string>& configDir) {
    bool named = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--config-dir" && i + 1 < args.size()) {
            configDir = args[++i];
        } else if (a.rfind("--config-dir=", 0) == 0) {
            configDir = a.substr(13);
        } else if (!named && !a.empty() && a[0] != '-') {
            name = a;
            named = true;
        } else if (named) {
            rest.push_back(a);
        } else {
            return false;  // an option before the subcommand's name other than --config-dir
        }
    }
    return named;
}

int runSubcommand(const Subcommand& sub, const std::vector<std::string>& rest,
                  const std::optional<std::string>& configDir, std::ostream& out, std::ostream& err,
                  std::istream& in, const Clock& clock, const std::string& exeDir) {
    if (configDir && configDir->empty()) {
        err << "tavu: --config-dir needs a folder (see tavu --help)\n";
        return 2;
    }
    CliContext context{
        out,
        err,
        in,
        clock,
        exeDir,
        sub.onlyReads ? configDirFor(configDir, exeDir) : resolveConfigDir(configDir, exeDir)};
    return sub.run(context, rest);
}

int runTextProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::istream& in, const Clock& clock, const std::string& exeDir) {
    std::string name;
    std::vector<std::string> rest;
    std::optional<std::string> configDir;
    if (splitSubcommandLine(args, name, rest, configDir) && name == usageSubcommand().name) {
        return runSubcommand(usageSubcommand(), rest, configDir, out, err, in, clock, exeDir);
    }
    const ParsedCommandLine parsed = parseCommandLine(args);
    return runPrintCommand(parsed.command, out, err, clock, exeDir).value_or(2);
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine r;
    CommandLine& c = r.command;
    bool commandSeen = false;
    bool formatSeen = false;
    auto fail = [&](std::string msg) {
        r.error = "tavu: " + std::move(msg) + " (see tavu --help)";
        return r;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string name = a;
        std::optional<std::string> value;
        if (a.rfind("--", 0) == 0) {
            if (const auto eq = a.find('='); eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (value) {
                return value;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        if (name == "--help" || name == "-h") {
            c.mode = CommandLine::Mode::Help;
            return r;
        }
        if (name == "--version") {
            c.mode = CommandLine::Mode::Version;
            return r;
        }
        if (name == "--config-dir") {
            c.configDir = takeValue();
            if (!c.configDir || c.configDir->empty()) {
                return fail("--config-dir needs a folder");
            }
        } else if (name == "--simulate") {
            c.simulateFile = takeValue();
            if (!c.simulateFile || c.simulateFile->empty()) {
                return fail("--simulate needs a file");
            }
        } else if (name == "--command") {
            const auto v = takeValue();
            if (!v || v->empty()) {
                return fail("--command needs the name of a command");
            }
            c.mode = CommandLine::Mode::Command;
            c.remoteCommand = *v;
        } else if (name == "--filter") {
            const auto v = takeValue();
            if (!v) {
                return fail("--filter needs all, month or today");
            }
            if (*v == "all") {
                c.filter = SummaryFilter::All;
            } else if (*v == "month") {
                c.filter = SummaryFilter::ThisMonth;
            } else if (*v == "today") {
                c.filter = SummaryFilter::Today;
            } else {
                return fail("unknown filter '" + *v + "': use all, month or today");
            }
        } else if (name == "--plan") {
            c.plan = takeValue();
            if (!c.plan || c.plan->empty()) {
                return fail("--plan needs the name of a plan");
            }
        } else if (name == "--format") {
            const auto v = takeValue();
            const auto format = v ? reportFormatNamed(*v) : std::nullopt;
            if (!format) {
                return fail(v ? "unknown format '" + *v + "': use tsv, csv or json"
                              : "--format needs tsv, csv or json");
            }
            c.format = *format;
            formatSeen = true;
        } else if (isToolkitOption(a)) {
            if (i + 1 >= args.size()) {
                return fail(a + " needs a value");
            }
            c.toolkitArgs.push_back(a);
            c.toolkitArgs.push_back(args[++i]);
        } else if (!a.empty() && a[0] == '-') {
            return fail("unknown option '" + a + "'");
        } else if (!commandSeen && (a == "report" || a == "summary")) {
            commandSeen = true;
            c.mode = a == "report" ? CommandLine::Mode::Report : CommandLine::Mode::Summary;
        } else {
            return fail("unexpected argument '" + a + "'");
        }
    }
    const bool printsLog =
        c.mode == CommandLine::Mode::Summary || c.mode == CommandLine::Mode::Report;
    if (c.filter && !printsLog) {
        return fail("--filter belongs to the report and summary commands");
    }
    if (c.plan && !printsLog) {
        return fail("--plan belongs to the report, summary, usage and chart commands");
    }
    if (formatSeen && !printsLog) {
        return fail("--format belongs to the report and summary commands");
    }
    if (c.mode == CommandLine::Mode::Summary && c.format == ReportFormat::Csv) {
        return fail("the summary is printed as tsv or json");
    }
    if (c.simulateFile && c.mode != CommandLine::Mode::Run) {
        return fail("--simulate starts the program; it does not go with " +
                    std::string(c.mode == CommandLine::Mode::Report    ? "report"
                                : c.mode == CommandLine::Mode::Command ? "--command"
                                                                       : "summary"));
    }
    return r;
}

std::optional<int> runPrintCommand(const CommandLine& c, std::ostream& out, std::ostream& err,
                                   const Clock& clock, const std::string& exeDir) {
    switch (c.mode) {
        case CommandLine::Mode::Version:
            out << kAppTitle << '\n';
            return 0;
        case CommandLine::Mode::Report:
            return runReport(configDirFor(c.configDir, exeDir), c, clock, out, err);
        case CommandLine::Mode::Summary:
            return runSummary(configDirFor(c.configDir, exeDir), c.filter, c.plan, c.format, clock,
                              out, err);
        case CommandLine::Mode::Help:
        case CommandLine::Mode::Command:
        case CommandLine::Mode::Run:
            break;
    }
    return std::nullopt;
}

Program programFor(const std::vector<std::string>& args) {
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (parsed.error.empty()) {
        switch (parsed.command.mode) {
            case CommandLine::Mode::Run:
                return Program::Window;
            case CommandLine::Mode::Version:
            case CommandLine::Mode::Report:
            case CommandLine::Mode::Summary:
                return Program::Text;
            case CommandLine::Mode::Help:
            case CommandLine::Mode::Command:
                return Program::Tool;
        }
    }
    // A subcommand of the table, or a usage error that the tool reports with the whole table
    // at hand. Only the chart draws.
    // A subcommand's name comes first, after --config-dir DIR at most.
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--config-dir") {
            ++i;
        } else if (args[i].rfind("--config-dir=", 0) != 0) {
            // Usage is printed from the kept sums, without Qt; only the chart draws.
            return args[i] == usageSubcommand().name ? Program::Text
                   : args[i] == "chart"              ? Program::Window
                                                     : Program::Tool;
        }
    }
    return Program::Tool;
}

}  // namespace tavu
