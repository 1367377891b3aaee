#include "core/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/as_user.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

int replaceWith(const std::string& path, const std::string& text, mode_t mode = 0644) {
    return replaceUserFile(path, mode, [&](int fd) { return writeAll(fd, text); });
}

// A name that is a link, a folder or a FIFO is refused and left as it was; a regular file is
// replaced, with the mode asked for, and no temporary file stays behind.
TEST(ReplaceUserFile, RefusesWhatIsNoRegularFile) {
    TempDir dir;
    writeFile(dir.file("target"), "keep");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("nothing").c_str(), dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(replaceWith(dir.file("link"), "new"), ELOOP);
    EXPECT_EQ(replaceWith(dir.file("dangling"), "new"), ELOOP);
    EXPECT_EQ(replaceWith(dir.path(), "new"), EISDIR);
    EXPECT_EQ(replaceWith(dir.file("fifo"), "new"), EINVAL);
    EXPECT_EQ(readFile(dir.file("target")), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nothing")));
    EXPECT_EQ(replaceErrorText(ELOOP), "it is a symbolic link");

    EXPECT_EQ(replaceWith(dir.file("target"), "new", 0600), 0);
    EXPECT_EQ(readFile(dir.file("target")), "new");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("target").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // A fill that fails leaves the old file and nothing else.
    EXPECT_EQ(replaceUserFile(dir.file("target"), 0600,
                              [](int) {
                                  errno = ENOSPC;
                                  return false;
                              }),
              ENOSPC);
    EXPECT_EQ(readFile(dir.file("target")), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);
}

// Root writes into a shared folder (sticky, writable by all) where another user planted a link
// to a file of root's: refused, and the file the link points to is unchanged.
TEST(ReplaceUserFile, ALinkPlantedByAnotherUserIsNotFollowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string shared = dir.file("shared");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ::chmod(shared.c_str(), 01777);
    writeFile(dir.file("important"), "root's");
    const std::string planted = shared + "/chart.png";
    EXPECT_EQ(test::asNobody([&] {
                  return ::symlink(dir.file("important").c_str(), planted.c_str()) == 0 ? "ok"
                                                                                        : "failed";
              }),
              "ok");
    EXPECT_EQ(replaceWith(planted, "PNG"), ELOOP);
    EXPECT_EQ(readFile(dir.file("important")), "root's");

    // The file another user left is no file of root's.
    EXPECT_EQ(test::asNobody([&] {
                  writeFile(shared + "/theirs", "x");
                  return std::string("ok");
              }),
              "ok");
    const UniqueFd theirs(::open((shared + "/theirs").c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd mine(::open(dir.file("important").c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(ownedByUser(theirs.get()));
    EXPECT_TRUE(ownedByUser(mine.get()));
}

}  // namespace
}  // namespace tavu
