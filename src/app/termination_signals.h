#pragma once

#include <functional>

class QObject;

namespace tavu {

// Runs `handler` on the event loop when the process gets SIGTERM or SIGINT (the end of the
// session, `systemctl stop`, Ctrl+C). The handler lives as long as `owner`.
void onTerminationSignal(QObject* owner, std::function<void()> handler);

}  // namespace tavu
