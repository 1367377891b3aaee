#include "ui/common/manual.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <string>

#include "core/prompter.h"
#include "platform/desktop/shell.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

// PATH holds only the given folder for the test's length.
class OnlyOnPath {
  public:
    explicit OnlyOnPath(const std::string& dir) : old_(qgetenv("PATH")) {
        qputenv("PATH", QByteArray::fromStdString(dir));
    }
    ~OnlyOnPath() { qputenv("PATH", old_); }

  private:
    QByteArray old_;
};

// Runs the event loop until the condition holds, for at most a few seconds of a real process.
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

void writeOpener(const test::TempDir& dir, int status) {
    const std::string path = dir.file("xdg-open");
    test::writeFile(path, "#!/bin/sh\nexit " + std::to_string(status) + "\n");
    ::chmod(path.c_str(), 0700);
}

// An opener that ends with a status other than 0 (xdg-open with no browser ends with 3) and
// no opener at all both give the box that names the manual's file.
TEST(Manual, AnOpenerThatFailsOrIsMissingGivesTheBox) {
    test::TempDir dir;
    const std::string manual = dir.file("help/index.htm");
    {
        writeOpener(dir, 3);
        OnlyOnPath path(dir.path());
        platform::DesktopShell shell;
        ScriptedPrompter prompter;
        openManual(shell, prompter, manual);
        ASSERT_TRUE(waitFor([&] { return !prompter.shown.empty(); }));
        EXPECT_EQ(prompter.shown[0].text, noBrowserText(manual));
        EXPECT_NE(prompter.shown[0].text.find(manual), std::string::npos);
    }
    {
        test::TempDir empty;
        OnlyOnPath path(empty.path());
        platform::DesktopShell shell;
        ScriptedPrompter prompter;
        openManual(shell, prompter, manual);
        ASSERT_TRUE(waitFor([&] { return !prompter.shown.empty(); }));
        EXPECT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, noBrowserText(manual));
    }
    {
        // An opener that succeeds: no box.
        writeOpener(dir, 0);
        OnlyOnPath path(dir.path());
        platform::DesktopShell shell;
        int answers = 0;
        bool opened = false;
        shell.open(manual, [&](bool ok) {
            ++answers;
            opened = ok;
        });
        ASSERT_TRUE(waitFor([&] { return answers > 0; }));
        EXPECT_TRUE(opened);
    }
}

}  // namespace
}  // namespace tavu
