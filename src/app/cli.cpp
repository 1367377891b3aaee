#include "app/cli.h"

#include <iostream>
#include <ostream>

#include "app/remote_command.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "log/log_file.h"
#include "monitor/commands.h"
#include "reports/report_rows.h"

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
    return writeReport(settings, logFilePath(settings, configDir), c.format,
                       c.filter.value_or(SummaryFilter::All), clock.localNow(), out)
               ? 0
               : 1;
}

int runSummary(const std::string& configDir, const std::optional<SummaryFilter>& filter,
               ReportFormat format, const Clock& clock, std::ostream& out, std::ostream& err) {
    if (!checkFolder(configDir, err)) {
        return 1;
    }
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    if (!checkLogFolder(settings, configDir, err)) {
        return 1;
    }
    const std::string log = logFilePath(settings, configDir);
    const LocalDateTime today = clock.localNow();
    const LogTotals totals =
        filter ? computeTotals(settings, log, *filter, today) : computeTotals(settings, log, today);
    if (format == ReportFormat::Json) {
        out << summaryJson(summaryValues(totals)) << '\n';
        return out.good() ? 0 : 1;
    }
    for (const SummaryLine& l : summaryValues(totals)) {
        out << l.label << '\t' << l.value << '\n';
    }
    return out.good() ? 0 : 1;
}

std::string subcommandUsage() {
    std::string text;
    for (const Subcommand& s : subcommands()) {
        text += s.usage;
    }
    return text;
}

// The subcommand of the table named by the first argument that is not an option; `rest` gets
// the other arguments without `--config-dir DIR`.
const Subcommand* findSubcommand(const std::vector<std::string>& args,
                                 std::vector<std::string>& rest,
                                 std::optional<std::string>& configDir) {
    const Subcommand* found = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--config-dir" && i + 1 < args.size()) {
            configDir = args[++i];
        } else if (a.rfind("--config-dir=", 0) == 0) {
            configDir = a.substr(13);
        } else if (!found && !a.empty() && a[0] != '-') {
            for (const Subcommand& s : subcommands()) {
                if (a == s.name) {
                    found = &s;
                }
            }
            if (!found) {
                return nullptr;
            }
        } else if (found) {
            rest.push_back(a);
        } else {
            return nullptr;  // an option before the subcommand's name other than --config-dir
        }
    }
    return found;
}

}  // namespace

bool logFoldersExist(const std::string& configDir, std::ostream& err) {
    return checkFolder(configDir, err) &&
           checkLogFolder(SettingsStore(joinPath(configDir, kSettingsFileName)), configDir, err);
}

std::string usageText() {
    return std::string(kAppTitle) +
           "\n"
           "Usage:\n"
           "  tavu [--config-dir DIR] [--simulate FILE]   start the connection timer\n"
           "  tavu report [--config-dir DIR] [--format tsv|csv|json] [--filter all|month|today]\n"
           "                                              print the connection report\n"
           "  tavu summary [--config-dir DIR] [--format tsv|json] [--filter all|month|today]\n"
           "                                              print the summary\n" +
           subcommandUsage() +
           "  tavu --command NAME                         run a command of the running copy\n"
           "  tavu --help                                 show this text\n"
           "  tavu --version                              show the version\n"
           "\n"
           "--config-dir DIR  folder of the settings file tavu.ini and the default log folder\n"
           "--simulate FILE   use the simulated dial-up line described in FILE\n"
           "--filter          period: all entries, this month or today; the summary and the\n"
           "                  chart use the stored choice without it, the report all entries\n"
           "--format          tsv: tab-separated text (the default); csv: RFC 4180, dates\n"
           "                  yyyy-mm-dd; json: one object, {\"records\":[...],\"totals\":{...}}\n"
           "                  for the report, the summary's values for the summary\n"
           "--out, --size     the chart's PNG file and its size in pixels (800x480)\n"
           "--by              usage: one row an hour, a day (the default), a calendar month or a\n"
           "                  billing period\n"
           "--from, --to      usage: the first and last day counted; the current billing\n"
           "                  period's first day and today without them\n";
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

int runTextCommand(const CommandLine& c, std::ostream& out, std::ostream& err, const Clock& clock,
                   const std::string& exeDir) {
    switch (c.mode) {
        case CommandLine::Mode::Help:
            out << usageText();
            return 0;
        case CommandLine::Mode::Version:
            out << kAppTitle << '\n';
            return 0;
        case CommandLine::Mode::Report:
            return runReport(configDirFor(c.configDir, exeDir), c, clock, out, err);
        case CommandLine::Mode::Summary:
            return runSummary(configDirFor(c.configDir, exeDir), c.filter, c.format, clock, out,
                              err);
        case CommandLine::Mode::Command:
            return runRemoteCommand(c.remoteCommand, err);
        case CommandLine::Mode::Run:
            break;
    }
    err << "tavu: nothing to print\n";
    return 2;
}

std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                  std::ostream& err, const Clock& clock, const std::string& exeDir,
                                  CommandLine& command) {
    return runCommandLine(args, out, err, clock, exeDir, command, std::cin);
}

std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                  std::ostream& err, const Clock& clock, const std::string& exeDir,
                                  CommandLine& command, std::istream& in) {
    std::vector<std::string> rest;
    std::optional<std::string> configDir;
    if (const Subcommand* sub = findSubcommand(args, rest, configDir)) {
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
            sub->onlyReads ? configDirFor(configDir, exeDir) : resolveConfigDir(configDir, exeDir)};
        return sub->run(context, rest);
    }
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (!parsed.error.empty()) {
        err << parsed.error << '\n';
        return 2;
    }
    command = parsed.command;
    if (command.mode == CommandLine::Mode::Run) {
        return std::nullopt;
    }
    return runTextCommand(command, out, err, clock, exeDir);
}

}  // namespace tavu
