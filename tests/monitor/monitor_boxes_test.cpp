// The monitor goes on watching the line while the boxes it raised are open, and loses no
// record when the log cannot be written.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// Boxes that stay open until their hook is done: the hook stands for the timer events a real
// box lets through while it waits for the user.
class OpenBoxPrompter final : public Prompter {
  public:
    Answer show(const Message& message) override {
        shown.push_back(message);
        if (whileOpen) {
            auto hook = std::move(whileOpen);
            whileOpen = nullptr;
            hook();
        }
        return message.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::vector<Message> shown;
    std::function<void()> whileOpen;
};

class DialView final : public test::NullView {
  public:
    void dial() override {
        ++dials;
        if (onDial) {
            onDial();
        }
    }
    int dials = 0;
    std::function<void()> onDial;
};

class MonitorBoxes : public testing::Test, protected test::MonitorRig<OpenBoxPrompter> {
  protected:
    MonitorBoxes() : MonitorRig("[entry Provider]\nbytes-in-per-s = 10\n") {
        core = std::make_unique<MonitorCore>(services("4.10"), view);
    }

    void pollAfter(std::chrono::seconds d) {
        clock.advance(d);
        core->poll();
    }
    // A connection that comes and goes, a second each.
    void connection() {
        const auto h = ras->bringUp("Provider");
        pollAfter(1s);
        ras->drop(h);
        pollAfter(1s);
    }
    std::string missingFolder() { return dir.file("missing"); }

    DialView view;
    std::unique_ptr<MonitorCore> core;
};

TEST_F(MonitorBoxes, WriteFailureBoxNeitherStopsThePollNorLosesRecords) {
    settings.writeString("Settings", "IniPath", missingFolder());
    prompter.whileOpen = [&] {
        connection();              // a second connection comes and goes
        ras->bringUp("Provider");  // a third is up
        pollAfter(1s);
        EXPECT_TRUE(core->connected());
    };
    connection();
    ASSERT_EQ(prompter.shown.size(), 1u) << "one box for the cause, however often it recurs";
    const Message& box = prompter.shown[0];
    EXPECT_EQ(box.text, "Can not write to file" + missingFolder() +
                            "/logfile.log You can try to specify other location for logfile.");
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.icon, Icon::None);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(core->unwrittenRecords(), 2u);

    // The folder appears; the exit writes the kept records and the third, in order.
    std::filesystem::create_directory(missingFolder());
    pollAfter(5s);
    core->writeExitRecord();
    EXPECT_EQ(core->unwrittenRecords(), 0u);
    std::vector<std::string> lines;
    LogReader::forEachLine(missingFolder() + "/logfile.log",
                           [&](std::string_view l) { lines.emplace_back(l); });
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 39), "07-12-2026|20:00:01|07-12-2026|20:00:02");
    EXPECT_EQ(lines[1].substr(0, 39), "07-12-2026|20:00:03|07-12-2026|20:00:04");
    EXPECT_EQ(lines[2].substr(0, 39), "07-12-2026|20:00:05|07-12-2026|20:00:10");
}

TEST_F(MonitorBoxes, KeptRecordIsWrittenBeforeTheNextOne) {
    settings.writeString("Settings", "IniPath", missingFolder());
    connection();
    EXPECT_EQ(prompter.shown.size(), 1u);
    std::filesystem::create_directory(missingFolder());
    connection();
    EXPECT_EQ(prompter.shown.size(), 1u);
    std::vector<std::string> lines;
    LogReader::forEachLine(missingFolder() + "/logfile.log",
                           [&](std::string_view l) { lines.emplace_back(l); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_LT(lines[0], lines[1]);
}

TEST_F(MonitorBoxes, ServiceFailureBoxLetsThePollGoOn) {
    ras->setListingFails(true);
    prompter.whileOpen = [&] {
        pollAfter(1s);  // still failing: no second box while the first is open
        ras->setListingFails(false);
        ras->bringUp("Provider");
        pollAfter(1s);
    };
    pollAfter(1s);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Unknown Error - RAS INI Failure");
    EXPECT_TRUE(core->connected());
}

TEST_F(MonitorBoxes, RedialRunsAfterThePoll) {
    settings.writeInt("Settings", "Redial", 1);
    view.onDial = [&] {
        // The dial's own windows wait for the user; the line is watched meanwhile.
        if (view.dials == 1) {
            ras->bringUp("Provider");
            pollAfter(1s);
            EXPECT_TRUE(core->connected());
        }
    };
    connection();
    EXPECT_EQ(view.dials, 1);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(MonitorBoxes, CostCheckIsNotEnteredTwice) {
    // Limits set while the line is up: the cost check is the first to see them.
    ras->bringUp("Provider");
    pollAfter(1s);
    settings.writeString("Price", "CostPerMinute", "1");
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "WarnWhenMonthInterval", 0);
    settings.writeInt("Settings", "DisWhenMonth", 1);
    settings.writeInt("Settings", "DisWhenMonthInterval", 0);
    test::writeFile(dir.file("logfile.log"),
                    composeRecord({"01-12-2026", "10:00:00", "01-12-2026", "10:02:00", "joe", "d",
                                   "i", "0", "0"}));
    int nested = 0;
    prompter.whileOpen = [&] {  // the warning; the notice comes next
        ++nested;
        core->costCheck();
        pollAfter(1s);
        EXPECT_FALSE(core->connected()) << "the poll goes on behind the box";
    };
    core->costCheck();
    EXPECT_EQ(nested, 1);
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].caption, "Warning");
    EXPECT_EQ(prompter.shown[1].text,
              "Warning - cost per month too high. See Preferences->Warnings. Connection closed.");
}

// No Linux kernel is an old system: a version text of 4.10 changes nothing.
TEST_F(MonitorBoxes, OldSystemRuleNeverApplies) {
    ras->bringUp("Provider");
    pollAfter(1s);
    pollAfter(10s);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(core->display().bytesReceived, "110");
}

}  // namespace
}  // namespace tavu
