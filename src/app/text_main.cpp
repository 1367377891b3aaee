#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/program_exec.h"
#include "core/clock.h"
#include "core/paths.h"

// `tavu`: prints the version, the report, the summary and usage itself, without any Qt
// library, and hands every other command line, unchanged, to the program that runs it.
int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (tavu::programFor(args)) {
        case tavu::Program::Text: {
            tavu::SystemClock clock;
            return tavu::runTextProgram(args, std::cout, std::cerr, std::cin, clock,
                                        tavu::executableDir());
        }
        case tavu::Program::Tool:
            return tavu::execSibling("tavu-cli", argv, std::cerr);
        case tavu::Program::Window:
            break;
    }
    return tavu::execSibling("tavu-gui", argv, std::cerr);
}
