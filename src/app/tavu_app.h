#pragma once

#include "app/cli.h"

namespace tavu {

// The application: one running copy per user, the settings file, the start-up password, the
// splash, and the main window until Exit. Returns the process's exit status.
int runTavuApp(const CommandLine& command, int& argc, char** argv);

}  // namespace tavu
