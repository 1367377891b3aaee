#include "core/settings_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(SettingsStore, MissingFileGivesDefaults) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    EXPECT_EQ(s.readInt("Settings", "ShowSplash", 1), 1);
    EXPECT_EQ(s.readString("Settings", "UrlToLaunch", "x"), "x");
    EXPECT_EQ(s.readString("Settings", "MUser"), "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("tavu.ini")));
}

TEST(SettingsStore, ReadsLikeTheIniFunctions) {
    TempDir dir;
    writeFile(dir.file("tavu.ini"),
              "; comment line\n"
              "orphan=1\n"
              "[ settings ]\n"
              "  confirmexit =  0  \n"
              "ConfirmExit=1\n"
              "HangupInterval=12abc\n"
              "RedialTimes=abc\n"
              "Neg=-5\n"
              "Big=99999999999\n"
              "UrlToLaunch = http://example.test/a=b \n"
              "[Price]\n"
              "PricePerDial=0.5\r\n"
              "[SETTINGS]\n"
              "Redial=1\n");
    SettingsStore s(dir.file("tavu.ini"));
    EXPECT_EQ(s.readInt("Settings", "ConfirmExit", 7), 0);  // first occurrence, trimmed
    EXPECT_EQ(s.readInt("SETTINGS", "CONFIRMEXIT", 7), 0);
    EXPECT_EQ(s.readInt("Settings", "HangupInterval", 10), 12);  // leading integer
    EXPECT_EQ(s.readInt("Settings", "RedialTimes", 3), 0);       // present but not a number
    EXPECT_EQ(s.readInt("Settings", "Neg", 0), -5);
    EXPECT_EQ(s.readInt("Settings", "Big", 0), 2147483647);
    EXPECT_EQ(s.readString("Settings", "UrlToLaunch"), "http://example.test/a=b");
    EXPECT_EQ(s.readString("Price", "PricePerDial"), "0.5");
    EXPECT_EQ(s.readInt("Settings", "Redial", 0), 1);  // a second section of the same name
    EXPECT_EQ(s.readInt("Settings", "orphan", 9), 9);  // keys before any section belong nowhere
}

TEST(SettingsStore, WriteKeepsForeignLinesAndOrder) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    writeFile(path,
              "; my notes\n"
              "[Settings]\n"
              "ConfirmExit=1\n"
              "Unknown = kept  as is\n"
              "\n"
              "; about prices\n"
              "[Price]\n"
              "PricePerDial=1\n");
    SettingsStore s(path);
    EXPECT_TRUE(s.writeInt("settings", "confirmexit", 0));
    EXPECT_TRUE(s.writeString("Settings", "HideOnStart", "0"));
    EXPECT_TRUE(s.writeString("Inet", "RemoteTime", "12:00:01"));
    EXPECT_EQ(readFile(path),
              "; my notes\n"
              "[Settings]\n"
              "confirmexit=0\n"
              "Unknown = kept  as is\n"
              "HideOnStart=0\n"
              "\n"
              "; about prices\n"
              "[Price]\n"
              "PricePerDial=1\n"
              "\n"
              "[Inet]\n"
              "RemoteTime=12:00:01\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsStore, KeepsCrLfLineEnds) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    writeFile(path, "[Settings]\r\nA=1\r\n");
    SettingsStore s(path);
    s.writeInt("Settings", "B", 2);
    EXPECT_EQ(readFile(path), "[Settings]\r\nA=1\r\nB=2\r\n");
}

TEST(SettingsStore, EveryReadSeesTheFileAsItIsNow) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    SettingsStore a(path);
    SettingsStore b(path);
    EXPECT_EQ(b.readInt("Settings", "Redial", 0), 0);
    a.writeInt("Settings", "Redial", 1);
    EXPECT_EQ(b.readInt("Settings", "Redial", 0), 1);
    const auto g = b.generation();
    // Another program rewrites the file in place with the same size.
    writeFile(path, "[Settings]\nRedial=2\n");
    EXPECT_EQ(b.readInt("Settings", "Redial", 0), 2);
    EXPECT_NE(b.generation(), g);
    EXPECT_EQ(b.generation(), b.generation());
    std::filesystem::remove(path);
    EXPECT_EQ(b.readInt("Settings", "Redial", 5), 5);
}

TEST(SettingsStore, ValuesAndNamesCannotInjectLines) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Settings", "MPassword", "pw\n[Security]\r\nEnabled=1");
    EXPECT_EQ(s.readString("Settings", "MPassword"), "pw [Security]  Enabled=1");
    EXPECT_EQ(s.readInt("Security", "Enabled", 0), 0);
    // A key built from an entry name with "=" and brackets is found again under the same name.
    s.writeString("Connections", "My=ISP [2]User", "joe");
    EXPECT_EQ(s.readString("Connections", "My=ISP [2]User"), "joe");
    EXPECT_EQ(s.readString("Connections", "My"), "");
    // In a section name only "]" and line ends would break the line; "=" and "[" are kept.
    s.writeString("Plan A=B [x", "Match", "x");
    s.writeString("Plan C]D\n", "Match", "y");
    EXPECT_EQ(s.readString("Plan A=B [x", "Match"), "x");
    EXPECT_EQ(s.readString("Plan C]D\n", "Match"), "y");
    EXPECT_EQ(s.sectionNames(),
              (std::vector<std::string>{"Settings", "Connections", "Plan A=B [x", "Plan C D"}));
}

TEST(SettingsStore, ListsSectionsAsWritten) {
    const IniDocument doc =
        IniDocument::parse("x=1\n[ Price ]\n[price]\n[Plan a]b] ; note\n[Open\n");
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"Price", "price", "Plan a]b", "Open"}));
}

TEST(SettingsStore, RemovesEverySectionOfANameWithItsLines) {
    IniDocument doc = IniDocument::parse(
        "; head\n[Price]\nA=1\n[Plan Modem]\nMatch=ppp*\n; kept? no\n\n[Settings]\nB=2\n"
        "[plan MODEM]\nCostPerMB=1\n");
    EXPECT_TRUE(doc.removeSection("PLAN modem"));
    EXPECT_EQ(doc.serialize(), "; head\n[Price]\nA=1\n[Settings]\nB=2\n");
    EXPECT_FALSE(doc.find("Plan Modem", "CostPerMB"));
    EXPECT_EQ(doc.find("Settings", "B"), "2");
    EXPECT_FALSE(doc.removeSection("Plan Modem"));
}

TEST(SettingsStore, RenamesASectionKeepingItsLinesAndRefusesATakenName) {
    IniDocument doc = IniDocument::parse(
        "[Plan Modem] ; the USB stick\nMatch=ppp0\n; note\n[Plan SIM]\nMatch=wwan0\n");
    EXPECT_FALSE(doc.renameSection("Plan Modem", "plan sim"));
    EXPECT_FALSE(doc.renameSection("Plan None", "Plan Other"));
    EXPECT_TRUE(doc.renameSection("plan modem", "Plan Stick"));
    EXPECT_EQ(doc.serialize(),
              "[Plan Stick] ; the USB stick\nMatch=ppp0\n; note\n[Plan SIM]\nMatch=wwan0\n");
    EXPECT_EQ(doc.find("Plan Stick", "Match"), "ppp0");
    EXPECT_FALSE(doc.find("Plan Modem", "Match"));
    // A change of case alone is a rename too.
    EXPECT_TRUE(doc.renameSection("Plan Stick", "Plan STICK"));
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"Plan STICK", "Plan SIM"}));
    // New keys go to the renamed section, not to a new one.
    doc.set("plan stick", "CostPerMB", "2");
    EXPECT_EQ(doc.sectionNames().size(), 2u);
}

TEST(SettingsStore, MovesASectionBeforeAnotherOrToTheEnd) {
    IniDocument doc = IniDocument::parse(
        "top=1\n[Price]\nA=1\n\n[Plan A]\nMatch=a\n[Plan B]\nMatch=b\n# b's note\n");
    EXPECT_TRUE(doc.moveSection("Plan B", "plan a"));
    EXPECT_EQ(doc.serialize(),
              "top=1\n[Price]\nA=1\n\n[Plan B]\nMatch=b\n# b's note\n\n[Plan A]\nMatch=a\n");
    EXPECT_TRUE(doc.moveSection("Price"));
    EXPECT_EQ(doc.serialize(),
              "top=1\n[Plan B]\nMatch=b\n# b's note\n\n[Plan A]\nMatch=a\n\n[Price]\nA=1\n\n");
    EXPECT_EQ(doc.find("Plan A", "Match"), "a");
    EXPECT_EQ(doc.find("Price", "A"), "1");
    EXPECT_FALSE(doc.moveSection("Plan C"));
    EXPECT_FALSE(doc.moveSection("Plan A", "Plan C"));
}

TEST(SettingsStore, AnEditIsOneAtomicWriteOrNone) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    writeFile(path, "[Plan A]\nMatch=a\n[Plan B]\nMatch=b\n");
    SettingsStore s(path);
    struct stat before {};
    ::stat(path.c_str(), &before);
    EXPECT_TRUE(s.edit([](IniDocument&) { return false; }));
    struct stat same {};
    ::stat(path.c_str(), &same);
    EXPECT_EQ(before.st_ino, same.st_ino);  // not rewritten
    EXPECT_TRUE(s.edit([](IniDocument& doc) {
        return doc.removeSection("Plan A") && doc.renameSection("Plan B", "Plan C");
    }));
    EXPECT_EQ(readFile(path), "[Plan C]\nMatch=b\n");
    EXPECT_EQ(s.readString("Plan C", "Match"), "b");
}

TEST(SettingsStore, LongStringsAreCut) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Settings", "UrlToLaunch", std::string(5000, 'a'));
    EXPECT_EQ(s.readString("Settings", "UrlToLaunch").size(), 4095u);
}

TEST(SettingsStore, UnchangedValueDoesNotRewrite) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    SettingsStore s(path);
    s.writeInt("Settings", "DialSecsToDial", 0);
    struct stat before {};
    ::stat(path.c_str(), &before);
    EXPECT_TRUE(s.writeInt("Settings", "DialSecsToDial", 0));
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(SettingsStore, SeveralValuesGoInOneWriteAndUnchangedOnesWaitForNoLock) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    SettingsStore s(path);
    s.writeInt("Settings", "DialSecsToDial", 5);
    struct stat first {};
    ::stat(path.c_str(), &first);
    EXPECT_TRUE(s.writeMany({{"Settings", "DialSecsToDial", "4"},
                             {"Settings", "DialTimerStatus", "Time remaining : 00:00:05"}}));
    EXPECT_EQ(s.readInt("Settings", "DialSecsToDial", 0), 4);
    EXPECT_EQ(s.readString("Settings", "DialTimerStatus"), "Time remaining : 00:00:05");
    struct stat second {};
    ::stat(path.c_str(), &second);
    EXPECT_NE(first.st_ino, second.st_ino);

    // Another writer holds the folder: a write that changes nothing does not wait for it.
    const int dirFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    ASSERT_EQ(::flock(dirFd, LOCK_EX), 0);
    auto unchanged = std::async(std::launch::async, [&] {
        return s.writeMany({{"Settings", "DialSecsToDial", " 4 "},
                            {"settings", "dialtimerstatus", "Time remaining : 00:00:05"}});
    });
    const bool returned = unchanged.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    ::flock(dirFd, LOCK_UN);
    ::close(dirFd);
    EXPECT_TRUE(returned);
    EXPECT_TRUE(unchanged.get());
    struct stat third {};
    ::stat(path.c_str(), &third);
    EXPECT_EQ(second.st_ino, third.st_ino);
}

TEST(SettingsStore, FailedWriteLeavesOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    SettingsStore s(path);
    ASSERT_TRUE(s.writeString("Settings", "MUser", "joe"));
    const std::string before = readFile(path);

    // A file-size limit makes the write fail as a full disk would.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = s.writeString("Settings", "UrlToLaunch", std::string(500, 'u'));
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(ok);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(s.readString("Settings", "MUser"), "joe");
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

TEST(SettingsStore, WriteToMissingFolderFailsQuietly) {
    TempDir dir;
    SettingsStore s(dir.file("nowhere/tavu.ini"));
    EXPECT_FALSE(s.writeInt("Settings", "Redial", 1));
    EXPECT_EQ(s.readInt("Settings", "Redial", 0), 0);
}

TEST(SettingsStore, WritesThroughSymbolicLink) {
    TempDir dir;
    const std::string real = dir.file("real.ini");
    writeFile(real, "[Settings]\nA=1\n");
    const std::string link = dir.file("tavu.ini");
    std::filesystem::create_symlink(real, link);
    SettingsStore s(link);
    s.writeInt("Settings", "A", 2);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(real), "[Settings]\nA=2\n");
}

TEST(SettingsStore, ConcurrentWritersLoseNothing) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    constexpr int kEach = 40;
    const pid_t child = ::fork();
    if (child == 0) {
        SettingsStore s(path);
        for (int i = 0; i < kEach; ++i) {
            s.writeInt("Child", "K" + std::to_string(i), i);
        }
        ::_exit(0);
    }
    SettingsStore s(path);
    for (int i = 0; i < kEach; ++i) {
        s.writeInt("Parent", "K" + std::to_string(i), i);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    for (int i = 0; i < kEach; ++i) {
        EXPECT_EQ(s.readInt("Child", "K" + std::to_string(i), -1), i);
        EXPECT_EQ(s.readInt("Parent", "K" + std::to_string(i), -1), i);
    }
}

}  // namespace
}  // namespace tavu
