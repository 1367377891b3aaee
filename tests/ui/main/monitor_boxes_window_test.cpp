// The main window on real timers and real message boxes: a box raised by the poll stays open
// while the line goes on being watched.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "core/settings_store.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"
#include "ui/common/qt_prompter.h"
#include "ui/main/connection_monitor.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

std::vector<QMessageBox*> openBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

// Real boxes once the window has started (the missing skin's box at start is answered at once).
class StartedPrompter final : public Prompter {
  public:
    Answer show(const Message& m) override { return started ? real.show(m) : Answer::Ok; }
    void notify(const Message& m) { real.notify(m); }  // overrides the base's notify
    QtPrompter real;
    bool started = false;
};

template <typename Cond>
bool waitFor(Cond cond) {
    for (int i = 0; i < 300 && !cond(); ++i) {
        QTest::qWait(5);
    }
    return cond();
}

TEST(MainWindowBoxes, TheLineIsWatchedWhileTheWriteFailureBoxIsOpen) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    const std::string missing = dir.file("missing");
    settings.writeString("Settings", "IniPath", missing);
    // Just before a whole second, so the poll timer waits milliseconds, not a second.
    ManualClock clock(fromLocal(2026, 12, 7, 20, 0, 0) + 999ms);
    std::string error;
    auto ras = platform::SimulatedRemoteAccess::fromText("[entry Provider]\n", clock, error);
    StartedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeSystemInfo system;
    platform::FakeShell shell;
    ConnectionMonitor w(AppContext{settings, clock, prompter, *ras, nullptr, sound, system, shell,
                                   dir.path(), "/opt/tavu"});
    w.trayAvailability = [] { return true; };
    w.initialise();
    prompter.started = true;
    // Boxes that block the program are closed after a while, so the test fails, not hangs.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        for (QMessageBox* box : openBoxes()) {
            box->done(QMessageBox::Ok);
        }
    });
    QTimer::singleShot(4000, &closer, [&closer] { closer.start(50); });

    auto h = ras->bringUp("Provider");
    clock.advance(1s);
    ASSERT_TRUE(waitFor([&] { return w.core().connected(); }));
    ras->drop(h);
    clock.advance(1s);
    ASSERT_TRUE(waitFor([] { return !openBoxes().empty(); }));
    QMessageBox* box = openBoxes().front();
    EXPECT_EQ(box->text().toStdString(),
              "Can not write to file" + missing +
                  "/logfile.log You can try to specify other location for logfile.");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);

    // Behind the open box a second connection comes and goes and a third comes up.
    h = ras->bringUp("Provider");
    clock.advance(1s);
    EXPECT_TRUE(waitFor([&] { return w.core().connected(); }));
    ras->drop(h);
    clock.advance(1s);
    EXPECT_TRUE(waitFor([&] { return !w.core().connected(); }));
    ras->bringUp("Provider");
    clock.advance(1s);
    EXPECT_TRUE(waitFor([&] { return w.core().connected(); }));
    EXPECT_EQ(openBoxes().size(), 1u) << "one box for the cause";

    box->done(QMessageBox::Ok);
    std::filesystem::create_directory(missing);
    settings.writeInt("Settings", "ConfirmExit", 0);
    EXPECT_TRUE(w.exitProcedure());
    const std::string log = test::readFile(missing + "/logfile.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
}

}  // namespace
}  // namespace tavu
