#include "log/log_move.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string bigLog(std::size_t bytes) {
    std::string out;
    const std::string line =
        "06-12-2026|20:00:00|06-12-2026|20:10:00|root|ppp0|Provider|1234|56789|\r\n";
    while (out.size() < bytes) {
        out += line;
    }
    return out;
}

TEST(LogMove, WithinOneFileSystemTheLogIsRenamed) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("A"));
    std::filesystem::create_directory(dir.file("B"));
    const std::string a = dir.file("A/logfile.log"), b = dir.file("B/logfile.log");
    writeFile(a, "one|\r\n");

    EXPECT_EQ(moveLogFile(a, b), LogMoveResult::Moved);
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(readFile(b), "one|\r\n");

    EXPECT_EQ(moveLogFile(b, b), LogMoveResult::SameFile);
    EXPECT_EQ(moveLogFile(dir.file("B/../B/logfile.log"), b), LogMoveResult::SameFile);
    EXPECT_EQ(readFile(b), "one|\r\n");
    EXPECT_EQ(moveLogFile(a, b), LogMoveResult::NoLog);

    // A file at the new place is never replaced; a missing folder moves nothing.
    writeFile(a, "two|\r\n");
    EXPECT_EQ(moveLogFile(a, b), LogMoveResult::TargetExists);
    EXPECT_EQ(readFile(a), "two|\r\n");
    EXPECT_EQ(readFile(b), "one|\r\n");
    EXPECT_EQ(moveLogFile(a, dir.file("C/logfile.log")), LogMoveResult::Failed);
    EXPECT_EQ(readFile(a), "two|\r\n");
}

// In a child with a mount namespace of its own: a roomy tmpfs and a small one. The log moves to
// the roomy one whole, and a copy that runs out of room on the small one leaves the original as
// it was. Exit status 0 when all went right, 77 when the namespace could not be made.
int moveAcrossFileSystems(const std::string& base) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return 77;
    }
    const std::string roomy = base + "/roomy", small = base + "/small", home = base + "/home";
    if (::mount("tavu-i12", roomy.c_str(), "tmpfs", 0, "size=1m") != 0 ||
        ::mount("tavu-i12", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        return 77;
    }
    const std::string content = bigLog(200 * 1024);
    const std::string log = home + "/logfile.log";
    writeFile(log, content);
    if (moveLogFile(log, small + "/logfile.log") != LogMoveResult::Failed) {
        return 1;
    }
    if (readFile(log) != content || exists(small + "/logfile.log")) {
        return 2;  // the original must be whole, and no half copy left behind
    }
    if (moveLogFile(log, roomy + "/logfile.log") != LogMoveResult::Moved) {
        return 3;
    }
    if (exists(log) || readFile(roomy + "/logfile.log") != content) {
        return 4;
    }
    return 0;
}

TEST(LogMove, AcrossFileSystemsItIsCopiedAndOnlyAWholeCopyRemovesTheOriginal) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a file system needs root";
    }
    TempDir dir;
    for (const char* sub : {"roomy", "small", "home"}) {
        std::filesystem::create_directory(dir.file(sub));
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(moveAcrossFileSystems(dir.path()));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the full copy did not fail, 2: the original was "
                                         "harmed, 3: the move failed, 4: the moved log differs";
}

}  // namespace
}  // namespace tavu
