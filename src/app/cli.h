#pragma once

#include <iosfwd>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "reports/report_export.h"
#include "tariff/totals.h"

namespace tavu {

class Clock;
class SettingsStore;

// What the command line asks for.
struct CommandLine {
    enum class Mode { Run, Report, Summary, Help, Version, Command };
    Mode mode = Mode::Run;
    std::optional<std::string> configDir;
    std::optional<std::string> simulateFile;
    std::optional<SummaryFilter> filter;
    std::optional<std::string> plan;  // report and summary: --plan, one plan's connections only
    ReportFormat format = ReportFormat::Tsv;  // report and summary: --format
    std::string remoteCommand;             // Mode::Command: the name of the running copy's command
    std::vector<std::string> toolkitArgs;  // display options handed on to the window system
};

struct ParsedCommandLine {
    CommandLine command;
    std::string error;  // not empty: a usage error, reported in one line, exit status 2
};

// args: the arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

// Runs the modes that need no Qt library (version, report, summary) and returns the exit
// status; nullopt for the other modes.
std::optional<int> runPrintCommand(const CommandLine& command, std::ostream& out, std::ostream& err,
                                   const Clock& clock, const std::string& exeDir);

// The three programs behind the one command name: `tavu` itself prints the version, the report,
// the summary and usage without loading any Qt library; `tavu-cli` runs the other commands that
// show no window (Qt Core, Network and D-Bus); `tavu-gui` the windows and the chart.
enum class Program { Text, Tool, Window };
Program programFor(const std::vector<std::string>& args);

// Runs the modes that print text (report, summary, help, version) and returns the exit status.
int runTextCommand(const CommandLine& command, std::ostream& out, std::ostream& err,
                   const Clock& clock, const std::string& exeDir);

// What a subcommand of the table below gets: the streams, the clock, the program's folder and
// the configuration folder (`--config-dir`, wherever it stood, already taken out of the
// arguments and resolved).
struct CliContext {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    const Clock& clock;
    std::string exeDir;
    std::string configDir;
};

// A subcommand: `tavu NAME ARGS...`. `run` gets the arguments after the name (without
// `--config-dir DIR`) and returns the exit status; a usage error is reported on `err` with
// status 2.
struct Subcommand {
    const char* name;
    const char* usage;  // its lines of the --help text, each ending in a line end
    int (*run)(CliContext& context, const std::vector<std::string>& args);
    // A command that only reads: its configuration folder is not created when missing.
    bool onlyReads = false;
};

// For the commands that only read: false, with a message on err, when the configuration
// folder or the folder of the log it names is not there.
bool logFoldersExist(const std::string& configDir, std::ostream& err);

// For --plan: false, with a message on err, when the settings have no plan of that name (the
// default plan is "Default", plans or not).
bool planExists(const SettingsStore& settings, const std::string& plan, std::ostream& err);

// The table of subcommands beyond report and summary (subcommands.cpp): one line each.
const std::vector<Subcommand>& subcommands();

// `tavu usage` (cli_usage.cpp): in the table, and printed by `tavu` itself without Qt.
const Subcommand& usageSubcommand();

// A subcommand's command line: name gets the first argument that is not an option, rest the
// arguments after it without `--config-dir DIR`, configDir the folder given wherever it stood.
// False when there is no name, or an option other than --config-dir comes before it.
bool splitSubcommandLine(const std::vector<std::string>& args, std::string& name,
                         std::vector<std::string>& rest, std::optional<std::string>& configDir);

// Runs a subcommand with the arguments after its name; returns the exit status.
int runSubcommand(const Subcommand& sub, const std::vector<std::string>& rest,
                  const std::optional<std::string>& configDir, std::ostream& out, std::ostream& err,
                  std::istream& in, const Clock& clock, const std::string& exeDir);

// What `tavu` itself runs (Program::Text): the version, the report, the summary and usage.
int runTextProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::istream& in, const Clock& clock, const std::string& exeDir);

// The whole command line for the modes that print text; nullopt when the program should start
// its windows with `command`.
std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                  std::ostream& err, const Clock& clock, const std::string& exeDir,
                                  CommandLine& command, std::istream& in);
std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                  std::ostream& err, const Clock& clock, const std::string& exeDir,
                                  CommandLine& command);

}  // namespace tavu
