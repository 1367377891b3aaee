#pragma once

#include <QCoreApplication>
#include <memory>

namespace tavu {

// The application object that Qt's sockets and timers need, for the commands that run without
// windows; null when the process already has one (a test, the window program).
std::unique_ptr<QCoreApplication> ensureCoreApplication();

}  // namespace tavu
