// The setuid dial helper, through its test copy, which takes its pppd and folders from its
// environment (the installed one has them fixed). Run as root, as the installed helper runs.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ras/pppd/linux_peers.h"
#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

using test::readFile;
using test::writeFile;

constexpr const char* kPeerFile =
    "/dev/ttyS0\n115200\nconnect \"/usr/sbin/chat -v -f /etc/chatscripts/isp\"\nuser alice\n"
    "noauth\ndefaultroute\n";

struct HelperRig {
    test::TempDir dir;
    bool ok = false;
    std::string peers = dir.file("peers");
    std::string options = peers + "/.tavu/isp";

    HelperRig() {
        std::filesystem::create_directories(peers);
        ::chmod(peers.c_str(), 0755);
        writeFile(peers + "/isp", kPeerFile);
        // The line options as root writes them.
        ok = writeLineOptions({peers, dir.file("chat")}, "isp").empty();
        [[maybe_unused]] const int r = ::symlink(TAVU_TEST_PPPD, dir.file("pppd").c_str());
        writeFile(dir.file("pppd.conf"), "peers=" + peers + "\nrundir=" + dir.path() + "\n");
    }

    // Runs the helper with argv and the password on descriptor 3; returns its exit status.
    int run(const std::vector<std::string>& args, const std::string& password = "secret") {
        int pw[2];
        if (::pipe(pw) != 0) {
            return -1;
        }
        // Written first: the helper may end without reading it.
        [[maybe_unused]] const ssize_t w = ::write(pw[1], password.data(), password.size());
        ::close(pw[1]);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(pw[0], 3);
            ::setenv("TAVU_HELPER_PPPD", dir.file("pppd").c_str(), 1);
            ::setenv("TAVU_HELPER_PEERS", peers.c_str(), 1);
            ::setenv("TAVU_HELPER_RUNDIR", dir.path().c_str(), 1);
            ::setenv("TAVU_SECRET_OF_CALLER", "caller", 1);
            std::vector<char*> argv = {const_cast<char*>(TAVU_TEST_DIAL_HELPER)};
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pw[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<std::string> pppdArgs() const {
        std::vector<std::string> out;
        std::istringstream in(readFile(dir.file("pppd.args")));
        for (std::string l; std::getline(in, l);) {
            out.push_back(l);
        }
        return out;
    }
};

#define SKIP_WITHOUT_ROOT() \
    if (::geteuid() != 0)   \
    GTEST_SKIP() << "the helper needs root"

TEST(DialHelper, RefusesNamesThatAreNotAnEntrysAndUnknownCommands) {
    SKIP_WITHOUT_ROOT();
    HelperRig rig;
    for (const std::string& name :
         {std::string("../isp"), std::string(".tavu"), std::string("a/b"), std::string("isp\n"),
          std::string(""), std::string("isp x"), std::string(65, 'a')}) {
        EXPECT_EQ(rig.run({"dial", name}), 65) << name;
        EXPECT_EQ(rig.run({"hangup", name}), 65) << name;
    }
    EXPECT_EQ(rig.run({"connect", "isp"}), 64);
    EXPECT_EQ(rig.run({"dial", "isp", "/dev/pts/0"}), 64);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("pppd.args")));
}

TEST(DialHelper, RefusesLineOptionsThatAreNotRootsOwnRegularFile) {
    SKIP_WITHOUT_ROOT();
    {
        HelperRig rig;
        std::filesystem::remove(rig.options);
        EXPECT_EQ(rig.run({"dial", "isp"}), 67);
    }
    {
        HelperRig rig;  // a link to a file root owns
        writeFile(rig.dir.file("elsewhere"), "noauth\n");
        std::filesystem::remove(rig.options);
        std::filesystem::create_symlink(rig.dir.file("elsewhere"), rig.options);
        EXPECT_EQ(rig.run({"dial", "isp"}), 68);
    }
    {
        HelperRig rig;
        ASSERT_EQ(::chown(rig.options.c_str(), 65534, 0), 0);
        EXPECT_EQ(rig.run({"dial", "isp"}), 68);
    }
    {
        HelperRig rig;
        ASSERT_EQ(::chmod(rig.options.c_str(), 0660), 0);
        EXPECT_EQ(rig.run({"dial", "isp"}), 68);
    }
    {
        HelperRig rig;  // a folder others may write could have its file swapped
        ASSERT_EQ(::chmod((rig.peers + "/.tavu").c_str(), 0770), 0);
        EXPECT_EQ(rig.run({"dial", "isp"}), 68);
    }
    {
        HelperRig rig;
        std::filesystem::remove_all(rig.peers + "/.tavu");
        std::filesystem::create_directory_symlink(rig.dir.path(), rig.peers + "/.tavu");
        EXPECT_EQ(rig.run({"dial", "isp"}), 68);
    }
}

// The line options must say what the peer file says today: a peer file changed after root made
// them, or removed, stops the dial before pppd runs (and "check" says so before any modem dials).
TEST(DialHelper, RefusesLineOptionsOlderThanThePeerFile) {
    SKIP_WITHOUT_ROOT();
    {
        HelperRig rig;
        ASSERT_TRUE(rig.ok);
        EXPECT_EQ(rig.run({"check", "isp"}), 0);
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("pppd.args")));
        writeFile(rig.peers + "/isp", std::string(kPeerFile) + "usepeerdns\n");
        EXPECT_EQ(rig.run({"check", "isp"}), 71);
        EXPECT_EQ(rig.run({"dial", "isp"}), 71);
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("pppd.args")));
    }
    {
        HelperRig rig;  // the same options written in another order are not the same file
        std::string text = readFile(rig.options);
        text.insert(text.find("noauth"), "defaultroute\n");
        writeFile(rig.options, text);
        EXPECT_EQ(rig.run({"dial", "isp"}), 71);
    }
    {
        HelperRig rig;
        std::filesystem::remove(rig.peers + "/isp");
        EXPECT_EQ(rig.run({"dial", "isp"}), 71);
    }
    {
        HelperRig rig;
        std::filesystem::remove(rig.options);
        EXPECT_EQ(rig.run({"check", "isp"}), 67);
        EXPECT_EQ(rig.run({"dial", "isp"}), 67);
        EXPECT_FALSE(std::filesystem::exists(rig.dir.file("pppd.args")));
    }
}

TEST(DialHelper, RunsPppdWithAFixedCommandLineAndAnEmptyEnvironment) {
    SKIP_WITHOUT_ROOT();
    HelperRig rig;
    // The stand-in stops at once: the helper gives pppd no terminal, the line options name it.
    EXPECT_EQ(rig.run({"dial", "isp"}), 2);
    const std::vector<std::string> expected = {"call", ".tavu/isp",  "nodetach", "logfd",
                                               "2",    "passwordfd", "3"};
    EXPECT_EQ(rig.pppdArgs(), expected);
}

TEST(DialHelper, HangsUpOnlyAPppdItStartedForTheEntry) {
    SKIP_WITHOUT_ROOT();
    HelperRig rig;
    EXPECT_EQ(rig.run({"hangup", "isp"}), 69);
    // A pid file that names a process other than pppd: left alone.
    const pid_t other = ::fork();
    if (other == 0) {
        ::pause();
        ::_exit(0);
    }
    writeFile(rig.dir.file("ppp-isp.pid"), std::to_string(other) + "\nppp0\n");
    EXPECT_EQ(rig.run({"hangup", "isp"}), 69);
    EXPECT_EQ(::kill(other, 0), 0);
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
}

}  // namespace
}  // namespace tavu::platform
