#include "app/cli.h"

#include <iostream>
#include <ostream>

#include "app/remote_command.h"
#include "core/paths.h"
#include "core/version.h"
#include "monitor/commands.h"

namespace tavu {

namespace {

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
    std::string name;
    if (!splitSubcommandLine(args, name, rest, configDir)) {
        return nullptr;
    }
    for (const Subcommand& s : subcommands()) {
        if (name == s.name) {
            return &s;
        }
    }
    return nullptr;
}

}  // namespace

std::string usageText() {
    return std::string(kAppTitle) +
           "\n"
           "Usage:\n"
           "  tavu [--config-dir DIR] [--simulate FILE]   start the connection timer\n"
           "  tavu report [--config-dir DIR] [--format tsv|csv|json] [--filter all|month|today]\n"
           "             [--plan NAME]                    print the connection report\n"
           "  tavu summary [--config-dir DIR] [--format tsv|json] [--filter all|month|today]\n"
           "             [--plan NAME]                    print the summary\n" +
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
           "--plan NAME       report, summary, usage, chart: only the connections of one plan\n"
           "                  (Default: those no plan covers); without it all plans, each\n"
           "                  connection priced by its own\n"
           "--out, --size     the chart's PNG file and its size in pixels (800x480)\n"
           "--kind            usage: cost and data by day or period (the default); period: the\n"
           "                  data used this period, its caps and projection\n"
           "--by              usage: one row an hour, a day (the default), a calendar month or a\n"
           "                  billing period\n"
           "--from, --to      usage: the first and last day counted; the current billing\n"
           "                  period's first day and today without them\n"
           "--metrics        monitor: serve the usage as Prometheus metrics at ADDRESS:PORT\n"
           "                  (127.0.0.1:9817, [::1]:9817) in this run\n";
}

int runTextCommand(const CommandLine& c, std::ostream& out, std::ostream& err, const Clock& clock,
                   const std::string& exeDir) {
    switch (c.mode) {
        case CommandLine::Mode::Help:
            out << usageText();
            return 0;
        case CommandLine::Mode::Command:
            return runRemoteCommand(c.remoteCommand, err);
        default:
            break;
    }
    if (const auto status = runPrintCommand(c, out, err, clock, exeDir)) {
        return *status;
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
        return runSubcommand(*sub, rest, configDir, out, err, in, clock, exeDir);
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
