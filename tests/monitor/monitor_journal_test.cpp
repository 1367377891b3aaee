#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "log/connection_journal.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/as_user.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class StatusView : public test::NullView {
  public:
    void insertStatus(const std::string& line) override { status.push_back(line); }

    std::vector<std::string> status;
};

// One program run after another on the same line and folder: a run that is "killed" is simply
// dropped without its exit.
class Journal : public testing::Test, protected test::MonitorRig<> {
  protected:
    Journal() : MonitorRig("[entry Provider]\nbytes-in-per-s = 1000\nbytes-out-per-s = 100\n") {
        EXPECT_TRUE(ras) << lineError;
        settings.writeInt(keys::kSettings, keys::kActionWhenConMade, 1);
    }

    void startRun() {
        view = std::make_unique<StatusView>();
        core = std::make_unique<MonitorCore>(services(), *view);
    }
    // Polls once a second for the given number of seconds.
    void runFor(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.advance(1s);
            core->poll();
        }
    }
    std::int64_t nowSeconds() const {
        return std::chrono::duration_cast<std::chrono::seconds>(clock.now().time_since_epoch())
            .count();
    }
    std::string journalEnd() const {
        JournalEntry e;
        if (ConnectionJournal::read(journalPath, e) != ConnectionJournal::Found::Whole) {
            return "none";
        }
        return e.record.endTime;
    }

    const std::string logPath = dir.file("logfile.log");
    const std::string journalPath = dir.file("logfile.log.open");
    std::unique_ptr<StatusView> view;
    std::unique_ptr<MonitorCore> core;
};

TEST_F(Journal, WrittenAtStartAndEveryTenSecondsRemovedAfterTheRecord) {
    startRun();
    runFor(30);
    EXPECT_FALSE(std::filesystem::exists(journalPath));  // nothing while idle

    const auto handle = ras->bringUp("Provider");
    runFor(1);
    EXPECT_EQ(journalEnd(), "20:00:31");
    runFor(9);
    EXPECT_EQ(journalEnd(), "20:00:31");
    runFor(1);
    EXPECT_EQ(journalEnd(), "20:00:41");
    runFor(14);
    EXPECT_EQ(journalEnd(), "20:00:51");

    ras->drop(handle);
    runFor(1);
    EXPECT_FALSE(std::filesystem::exists(journalPath));
    EXPECT_EQ(logLines(), std::vector<std::string>{"07-12-2026|20:00:31|07-12-2026|20:00:56|joe|"
                                                   "/dev/ttyS0|Provider|2500|25000|"});

    // A connection still up at exit: its record at exit, and the journal goes with it.
    ras->bringUp("Provider");
    runFor(3);
    EXPECT_TRUE(std::filesystem::exists(journalPath));
    core->writeExitRecord();
    EXPECT_FALSE(std::filesystem::exists(journalPath));
    EXPECT_EQ(logLines().size(), 2u);
}

TEST_F(Journal, KilledRunsConnectionGoneGivesOneRecordEndingAtTheLastWrite) {
    startRun();
    const auto handle = ras->bringUp("Provider");
    runFor(25);  // journal written at 20:00:01, :11 and :21
    core.reset();
    ras->drop(handle);
    clock.advance(2min);

    startRun();
    runFor(1);
    EXPECT_EQ(logLines(), std::vector<std::string>{"07-12-2026|20:00:01|07-12-2026|20:00:21|joe|"
                                                   "/dev/ttyS0|Provider|2100|21000|"});
    EXPECT_FALSE(std::filesystem::exists(journalPath));
    EXPECT_FALSE(core->connected());
}

TEST_F(Journal, ConnectionStillUpIsTimedFromTheJournalsStart) {
    startRun();
    const auto handle = ras->bringUp("Provider");
    runFor(25);
    EXPECT_EQ(sound.played.size(), 1u);
    core.reset();
    clock.advance(5s);

    startRun();
    runFor(1);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(core->display().elapsed, "00:00:30");
    EXPECT_EQ(view->status, std::vector<std::string>{"Connection Provider detected"});
    EXPECT_EQ(sound.played.size(), 1u);  // it was not made now
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(journalEnd(), "20:00:31");  // written anew at once

    runFor(10);
    ras->drop(handle);
    runFor(1);
    EXPECT_EQ(logLines(), std::vector<std::string>{"07-12-2026|20:00:01|07-12-2026|20:00:42|joe|"
                                                   "/dev/ttyS0|Provider|4100|41000|"});
    EXPECT_FALSE(std::filesystem::exists(journalPath));
}

TEST_F(Journal, AnotherConnectionNowUpDoesNotContinueTheJournaledOne) {
    // The journal's connection ended and another one came up in its place after the last write:
    // same handle and entry, but up since later.
    const auto handle = ras->bringUp("Provider");
    JournalEntry old;
    old.start = nowSeconds() - 100;
    old.end = nowSeconds() - 50;
    old.handle = handle;
    old.record = {"07-12-2026", "19:58:20", "07-12-2026", "19:59:10", "ann",
                  "/dev/ttyS0", "Provider", "1",          "2"};
    ConnectionJournal().begin(journalPath, old);

    startRun();
    runFor(1);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(core->display().elapsed, "00:00:00");
    EXPECT_EQ(logLines(),
              std::vector<std::string>{
                  "07-12-2026|19:58:20|07-12-2026|19:59:10|ann|/dev/ttyS0|Provider|1|2|"});
    EXPECT_EQ(journalEnd(), "20:00:01");  // the new connection's own journal

    // A journal of a process that is not the connection's owner: likewise.
    core.reset();
    old.end = nowSeconds();
    old.mark = "pppd 77 123";
    ConnectionJournal().begin(journalPath, old);
    startRun();
    runFor(1);
    EXPECT_EQ(logLines().size(), 2u);
}

TEST_F(Journal, DamagedJournalIsKeptAsideReportedOnceAndNeverLogged) {
    std::string text = composeJournal(JournalEntry{});
    test::writeFile(journalPath, text.substr(0, 40));
    startRun();
    runFor(1);
    EXPECT_EQ(view->status,
              std::vector<std::string>{"Damaged journal kept as logfile.log.open.bad"});
    EXPECT_TRUE(std::filesystem::exists(journalPath + ".bad"));
    EXPECT_FALSE(std::filesystem::exists(journalPath));
    runFor(3);
    EXPECT_EQ(view->status.size(), 1u);
    EXPECT_TRUE(logLines().empty());
}

// A complete journal that another user wrote into a shared log folder is never logged.
TEST_F(Journal, AnotherUsersJournalIsNotLogged) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the journal to another user";
    }
    JournalEntry forged;
    forged.start = nowSeconds() - 100;
    forged.end = nowSeconds() - 50;
    forged.record = {"07-12-2026", "19:58:20", "07-12-2026", "19:59:10", "eve",
                     "/dev/ttyS0", "=cmd",     "1",          "2"};
    test::writeFile(journalPath, composeJournal(forged));
    ASSERT_EQ(::chown(journalPath.c_str(), 65534, 65534), 0);
    startRun();
    runFor(1);
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(view->status,
              std::vector<std::string>{"The journal logfile.log.open belongs to another "
                                       "user: not logged, kept as logfile.log.open.bad"});
    EXPECT_TRUE(std::filesystem::exists(journalPath + ".bad"));
    runFor(1);
    EXPECT_TRUE(logLines().empty());
}

// A journal that cannot be removed (a folder the user may not change) is logged once, never at
// every start again.
TEST_F(Journal, AJournalThatCannotBeRemovedIsLoggedAtMostOnce) {
    const auto handle = ras->bringUp("Provider");
    startRun();
    runFor(15);
    core.reset();
    ras->drop(handle);
    ASSERT_TRUE(std::filesystem::exists(journalPath));
    test::writeFile(logPath, "");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(journalPath.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(logPath.c_str(), 65534, 65534), 0);
    }
    ::chmod(dir.path().c_str(), 0555);
    const auto twoStarts = [&] {
        std::string status;
        for (int run = 0; run < 2; ++run) {
            startRun();
            runFor(1);
            for (const std::string& line : view->status) {
                status += line + "\n";
            }
            core.reset();
        }
        return std::to_string(logLines().size()) + " " + status;
    };
    const std::string result = root ? test::asNobody(twoStarts) : twoStarts();
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(result,
              "1 The journal logfile.log.open could not be removed (Permission denied); it "
              "was logged and emptied\n");
}

}  // namespace
}  // namespace tavu
