#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/tavu_app.h"
#include "core/clock.h"
#include "core/paths.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    tavu::SystemClock clock;
    tavu::CommandLine command;
    if (const auto status = tavu::runCommandLine(args, std::cout, std::cerr, clock,
                                                 tavu::executableDir(), command)) {
        return *status;
    }
    return tavu::runTavuApp(command, argc, argv);
}
