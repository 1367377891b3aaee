#pragma once

#include <QCoreApplication>
#include <functional>
#include <thread>

namespace tavu {

// Runs `work` on a thread of its own and hands its result to `done` on the program's main
// thread. The work must own copies of its inputs; `done` must check that the window it touches
// is still there (a QPointer).
template <typename Result>
void runOffThread(std::function<Result()> work, std::function<void(const Result&)> done) {
    std::thread([work = std::move(work), done = std::move(done)] {
        Result result = work();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app, [done, result] { done(result); }, Qt::QueuedConnection);
        }
    }).detach();
}

}  // namespace tavu
