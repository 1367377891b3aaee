#include "core/paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::TempDir;
using test::writeFile;

// An installed layout PREFIX/bin and PREFIX/share/tavu, or a portable folder without share.
struct Layout {
    TempDir root;
    std::string bin = root.file("prefix/bin");
    void install() {
        std::filesystem::create_directories(root.file("prefix/share/tavu"));
        std::filesystem::create_directories(root.file("prefix/share/doc/tavu/help"));
        writeFile(root.file("prefix/share/doc/tavu/help/index.htm"), "manual");
    }
    Layout() { std::filesystem::create_directories(bin); }
};

TEST(Paths, InstalledDataAndManualAreFoundBesideTheProgramsPrefix) {
    Layout l;
    EXPECT_EQ(installedDataDir(l.bin), "");
    EXPECT_EQ(helpIndexPath(l.bin), l.bin + "/help/index.htm");  // portable: beside it

    l.install();
    EXPECT_EQ(installedDataDir(l.bin), l.root.file("prefix/share/tavu"));
    EXPECT_EQ(installedDataDir(l.bin + "/"), l.root.file("prefix/share/tavu"));
    EXPECT_EQ(helpIndexPath(l.bin), l.root.file("prefix/share/doc/tavu/help/index.htm"));

    // A manual beside the program wins, as for a portable copy.
    std::filesystem::create_directories(l.bin + "/help");
    writeFile(l.bin + "/help/index.htm", "portable");
    EXPECT_EQ(helpIndexPath(l.bin), l.bin + "/help/index.htm");
}

TEST(Paths, AnInstalledProgramsFolderNeverHoldsTheSettings) {
    Layout l;
    TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    // Writable and portable: settings beside the program.
    EXPECT_EQ(resolveConfigDir(std::nullopt, l.bin), l.bin);
    // Writable but installed (root and /usr/bin): the user's configuration folder.
    l.install();
    EXPECT_EQ(resolveConfigDir(std::nullopt, l.bin), config.file("tavu"));
    struct stat st {};
    EXPECT_EQ(::stat(config.file("tavu").c_str(), &st), 0);
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(Paths, UserDataFollowsXdgDataHome) {
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(userDataDir(), "/data/home/tavu");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(userDataDir(), "/home/u/.local/share/tavu");
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace tavu
