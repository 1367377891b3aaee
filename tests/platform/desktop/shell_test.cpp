#include "platform/desktop/shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QThread>
#include <chrono>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

// A launcher that writes the number of its arguments and each argument on a line of its own.
class FakeLauncher {
  public:
    FakeLauncher() {
        script_ = dir_.file("opener");
        out_ = dir_.file("args");
        test::writeFile(script_, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + out_ +
                                     ".tmp' && mv '" + out_ + ".tmp' '" + out_ + "'\n");
        ::chmod(script_.c_str(), 0700);
    }
    QString program() const { return QString::fromStdString(script_); }

    // What the launcher received; empty when it did not run within a few seconds.
    std::string received() {
        for (int i = 0; i < 100; ++i) {
            if (std::filesystem::exists(out_)) {
                const std::string text = test::readFile(out_);
                std::filesystem::remove(out_);
                return text;
            }
            QThread::msleep(50);
        }
        return {};
    }
    const test::TempDir& dir() const { return dir_; }

  private:
    test::TempDir dir_;
    std::string script_;
    std::string out_;
};

TEST(DesktopShell, TargetArrivesAsOneLiteralArgument) {
    FakeLauncher launcher;
    DesktopShell shell(launcher.program());
    const std::string canary = launcher.dir().file("canary");
    test::writeFile(canary, "x");

    const std::string hostile = "; rm -rf " + canary + " $(touch " + canary + ".2) `id` \"'|&";
    ASSERT_TRUE(shell.open(hostile));
    EXPECT_EQ(launcher.received(), "1\n" + hostile + "\n");
    EXPECT_TRUE(std::filesystem::exists(canary));
    EXPECT_FALSE(std::filesystem::exists(canary + ".2"));

    ASSERT_TRUE(shell.open("http://example.org/a b?c=1&d=2"));
    EXPECT_EQ(launcher.received(), "1\nhttp://example.org/a b?c=1&d=2\n");

    // A name that looks like an option is made a relative path.
    ASSERT_TRUE(shell.open("--help"));
    EXPECT_EQ(launcher.received(), "1\n./--help\n");
}

TEST(DesktopShell, FailuresAreReportedNotThrown) {
    test::TempDir dir;
    EXPECT_FALSE(DesktopShell(QString::fromStdString(dir.file("no-such-opener"))).open("x"));
    FakeLauncher launcher;
    EXPECT_FALSE(DesktopShell(launcher.program()).open(""));
    EXPECT_FALSE(DesktopShell(QString()).open("x"));
}

}  // namespace
}  // namespace tavu::platform
