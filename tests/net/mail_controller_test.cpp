#include "net/mail_controller.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <future>

namespace tavu {
namespace {

// Runs the event loop until done() or 5 s passed.
template <typename Done>
bool waitFor(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

MailCheckJob returns(MailCheckResult::Kind kind, std::uint32_t count = 0) {
    return [=] { return MailCheckResult{kind, count}; };
}

TEST(MailController, EachResultIsHandledOnceOnItsThread) {
    std::vector<MailCheckJob> jobs = {
        returns(MailCheckResult::Kind::Count, 3), returns(MailCheckResult::Kind::NoMail),
        returns(MailCheckResult::Kind::Failure), returns(MailCheckResult::Kind::Count, 3)};
    std::size_t made = 0;
    MailController c([&] { return jobs.at(made++); });
    QStringList seen;
    int handled = 0;
    const QThread* owner = QThread::currentThread();
    bool onOwner = true;
    QObject::connect(&c, &MailController::newMail, [&](const QString& n, const QString& tip) {
        seen << n + "|" + tip;
        onOwner = onOwner && QThread::currentThread() == owner;
    });
    QObject::connect(&c, &MailController::checkFailed, [&](const QString& tip) { seen << tip; });
    QObject::connect(&c, &MailController::resultHandled,
                     [&](const MailCheckResult&) { ++handled; });
    for (int i = 0; i < 4; ++i) {
        c.startCheck();
    }
    EXPECT_TRUE(c.pollActive());
    ASSERT_TRUE(waitFor([&] { return handled == 4; }));
    EXPECT_TRUE(onOwner);
    seen.sort();
    EXPECT_EQ(seen, (QStringList{"3|You have 3 new email(s)", "3|You have 3 new email(s)",
                                 "Error connecting email server!"}));
    EXPECT_FALSE(c.pollActive());
    EXPECT_EQ(c.runningChecks(), 0u);
    c.pollResults();
    EXPECT_EQ(handled, 4) << "nothing is handled twice";
}

TEST(MailController, AWorkerOutlivingItsControllerIsDropped) {
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<bool> finished{false};
    {
        MailController c([&] {
            return MailCheckJob([gate, &finished] {
                gate.wait();
                finished = true;
                return MailCheckResult{MailCheckResult::Kind::Count, 1};
            });
        });
        c.startCheck();
        EXPECT_EQ(c.runningChecks(), 1u);
    }
    release.set_value();
    EXPECT_TRUE(waitFor([&] { return finished.load(); }));
}

}  // namespace
}  // namespace tavu
