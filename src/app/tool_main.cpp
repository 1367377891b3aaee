#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/program_exec.h"
#include "core/clock.h"
#include "core/paths.h"

// `tavu-cli`: the commands that show no window, with Qt Core, Network and D-Bus only.
int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (tavu::programFor(args) != tavu::Program::Window) {
        tavu::SystemClock clock;
        tavu::CommandLine command;
        if (const auto status = tavu::runCommandLine(args, std::cout, std::cerr, clock,
                                                     tavu::executableDir(), command)) {
            return *status;
        }
    }
    return tavu::execSibling("tavu-gui", argv, std::cerr);
}
