#pragma once

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The real ModemManager with the AT modem simulator (tests/support/mm_harness.sh) on a private
// bus, started once for a suite; the tests skip where ModemManager is not installed. The
// including target defines TAVU_TEST_MM_HARNESS and TAVU_TEST_AT_SIM.
namespace tavu::test {

class RealModemDaemon {
  public:
    static void start() {
        dir_ = new QTemporaryDir();
        QProcess p;
        p.start("bash", {TAVU_TEST_MM_HARNESS, "start", dir_->path()});
        p.waitForFinished(60000);
        skip_ = p.exitCode() == 77;
        started_ = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        problem_ = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }
    static void stop() {
        QProcess::execute("bash", {TAVU_TEST_MM_HARNESS, "stop", dir_->path()});
        delete dir_;
        dir_ = nullptr;
    }
    // Where ModemManager is missing: the suite's tests are skipped.
    static bool missing() { return skip_; }
    static bool started() { return started_; }
    static std::string problem() { return problem_.toStdString(); }
    // A file the harness wrote: "bus" (the bus address), "name" (the simulator's name).
    static QString read(const char* name) {
        QFile f(dir_->filePath(name));
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).trimmed();
    }
    // A command to the simulator (at_modem_sim.py control).
    static void control(const QStringList& words) {
        QProcess p;
        p.start("python3", QStringList{TAVU_TEST_AT_SIM, "control", read("name")} + words);
        ASSERT_TRUE(p.waitForFinished(10000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString();
    }

  private:
    static inline QTemporaryDir* dir_ = nullptr;
    static inline bool skip_ = false;
    static inline bool started_ = false;
    static inline QString problem_;
};

}  // namespace tavu::test
