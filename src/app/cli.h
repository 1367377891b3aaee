#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tariff/totals.h"

namespace tavu {

class Clock;

// What the command line asks for.
struct CommandLine {
    enum class Mode { Run, Report, Summary, Help, Version };
    Mode mode = Mode::Run;
    std::optional<std::string> configDir;
    std::optional<std::string> simulateFile;
    std::optional<SummaryFilter> filter;
    std::vector<std::string> toolkitArgs;  // display options handed on to the window system
};

struct ParsedCommandLine {
    CommandLine command;
    std::string error;  // not empty: a usage error, reported in one line, exit status 2
};

// args: the arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

// Runs the modes that print text (report, summary, help, version) and returns the exit status.
int runTextCommand(const CommandLine& command, std::ostream& out, std::ostream& err,
                   const Clock& clock, const std::string& exeDir);

// The whole command line for the modes that print text; nullopt when the program should start
// its windows with `command`.
std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out,
                                  std::ostream& err, const Clock& clock, const std::string& exeDir,
                                  CommandLine& command);

}  // namespace tavu
