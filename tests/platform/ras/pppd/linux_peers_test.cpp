#include "platform/ras/pppd/linux_peers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "platform/ras/pppd/linux_remote_access.h"
#include "support/as_user.h"
#include "support/modem_emulator.h"
#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

using test::asNobody;
using test::TempDir;
using test::writeFile;

struct Book {
    TempDir dir;
    DialupPaths paths;
    Book() {
        std::filesystem::create_directory(dir.file("peers"));
        std::filesystem::create_directory(dir.file("chat"));
        paths = {dir.file("peers"), dir.file("chat"), "/usr/sbin/pppd", "/usr/sbin/chat"};
    }
    std::size_t files() const {
        std::size_t n = 0;
        for (const char* d : {"peers", "chat"}) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file(d))) {
                n += e.is_directory() ? 0 : 1;
            }
        }
        return n;
    }
};

EntryForm sampleForm(const std::string& name = "my-isp_2.net") {
    EntryForm f;
    f.name = name;
    f.number = "0101,555";
    f.device = "/dev/ttyUSB0";
    f.speed = 57600;
    f.init = "AT&F E1";
    f.user = "alice@isp";
    return f;
}

bool sameForm(const EntryForm& a, const EntryForm& b) {
    return a.name == b.name && a.number == b.number && a.device == b.device && a.speed == b.speed &&
           a.init == b.init && a.user == b.user;
}

TEST(EntryFiles, WrittenEntryReadsBackAndDials) {
    Book book;
    const EntryForm form = sampleForm();
    ASSERT_EQ(writeEntryFiles(book.paths, form), "");
    const std::string peer = book.paths.peersDir + "/" + form.name;
    const std::string script = book.paths.chatDir + "/" + form.name;
    struct stat st {};
    ASSERT_EQ(::stat(peer.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(::stat(script.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(book.files(), 3u);  // no temporary file left behind

    // The line options: the entry's options for pppd on a connected line, read with "call", and
    // by their owner only (pppd opens a called file as the user who runs it).
    const std::string lines = book.paths.peersDir + "/.tavu/" + form.name;
    const std::string linesDir = book.paths.peersDir + "/.tavu";
    ASSERT_EQ(::stat(lines.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_gid, ::getegid());
    ASSERT_EQ(::stat(linesDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    const std::string linesText = test::readFile(lines);
    for (const char* option : {"\nnoauth\n", "\nlinkname my-isp_2.net\n",
                               "\nplugin passwordfd.so\n", "\nlcp-echo-interval 30\n"}) {
        EXPECT_NE(linesText.find(option), std::string::npos) << option;
    }
    const std::vector<std::string> words = pppdOptionWords(linesText);
    EXPECT_EQ(std::find(words.begin(), words.end(), "57600"), words.end());
    EXPECT_NE(linesText.find("\nuser alice@isp\n"), std::string::npos) << linesText;
    // The device stays, and the connect line only checks that pppd's line is that device.
    EXPECT_NE(std::find(words.begin(), words.end(), "/dev/ttyUSB0"), words.end());
    const auto connect = std::find(words.begin(), words.end(), "connect");
    ASSERT_LT(connect + 1, words.end());
    EXPECT_EQ(connect[1], "/usr/bin/test /dev/ttyUSB0 -ef /proc/self/fd/0");
    EXPECT_EQ(lineOptionsState(book.paths, form.name), LineOptionsState::Current);
    // A hand edit of the peer file makes them stale until they are written again.
    writeFile(peer, test::readFile(peer) + "persist\n");
    EXPECT_EQ(lineOptionsState(book.paths, form.name), LineOptionsState::Stale);
    // A folder that an older version left open to its group is closed by the next write.
    ASSERT_EQ(::chmod(linesDir.c_str(), 02750), 0);
    ASSERT_EQ(::chmod(lines.c_str(), 0640), 0);
    ASSERT_EQ(writeLineOptions(book.paths, form.name), "");
    ASSERT_EQ(::stat(linesDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(lines.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(lineOptionsState(book.paths, form.name), LineOptionsState::Current);
    EXPECT_NE(test::readFile(lines).find("\npersist\n"), std::string::npos);

    EntryForm back;
    std::string error;
    ASSERT_TRUE(readEntryForm(book.paths, form.name, back, error)) << error;
    EXPECT_TRUE(sameForm(back, form));

    PeerFile p;
    ASSERT_TRUE(readPeerFile(peer, p, error)) << error;
    EXPECT_EQ(p.device, "/dev/ttyUSB0");
    EXPECT_EQ(p.speed, 57600);
    EXPECT_EQ(p.user, "alice@isp");
    EXPECT_EQ(p.chatScript, script);
    for (const char* option :
         {"noauth", "defaultroute", "usepeerdns", "hide-password", "lcp-echo-interval"}) {
        EXPECT_NE(std::find(p.pppdOptions.begin(), p.pppdOptions.end(), option),
                  p.pppdOptions.end())
            << option;
    }
    EXPECT_EQ(
        chatAbortStrings(test::readFile(script)),
        (std::vector<std::string>{"BUSY", "NO CARRIER", "NO DIALTONE", "NO ANSWER", "ERROR"}));

    // A new name moves the entry; the old files go.
    EntryForm renamed = form;
    renamed.name = "other";
    ASSERT_EQ(writeEntryFiles(book.paths, renamed, form.name), "");
    EXPECT_FALSE(std::filesystem::exists(peer));
    EXPECT_FALSE(std::filesystem::exists(script));
    EXPECT_EQ(lineOptionsState(book.paths, form.name), LineOptionsState::Missing);
    EXPECT_EQ(lineOptionsState(book.paths, "other"), LineOptionsState::Current);
    EXPECT_EQ(book.files(), 3u);
}

TEST(EntryFiles, BadNamesAreRefusedBeforeAnythingIsWritten) {
    Book book;
    for (const std::string& name :
         std::vector<std::string>{"", "a/b", "..", "../evil", "my isp", ".hidden", "tab\there",
                                  "ümlaut", std::string(65, 'x')}) {
        SCOPED_TRACE(name);
        EXPECT_NE(entryNameProblem(name), "");
        const std::string why = writeEntryFiles(book.paths, sampleForm(name));
        EXPECT_NE(why, "");
    }
    EXPECT_NE(entryNameProblem("my isp").find("letters, digits"), std::string::npos);
    EXPECT_EQ(entryNameProblem("Provider-1.net_x"), "");
    EXPECT_EQ(book.files(), 0u);

    // Values that would break the files' quoting are refused too.
    EntryForm quoted = sampleForm();
    quoted.number = "555'\nABORT";
    EXPECT_NE(writeEntryFiles(book.paths, quoted), "");
    EXPECT_EQ(book.files(), 0u);
    // The chat program and the scripts' folder go into the connect line, which pppd runs through
    // the shell.
    for (const auto& [chat, chatDir, why] :
         {std::tuple{"/usr/sbin/chat;reboot", book.paths.chatDir, "Dialup/Chat holds \";\""},
          std::tuple{"/usr/sbin/chat", book.paths.chatDir + "/$(id)", "Dialup/ChatDir holds \"$\""},
          std::tuple{"/usr/sbin/chat", book.paths.chatDir + "/my scripts", "a blank"}}) {
        DialupPaths paths = book.paths;
        paths.chat = chat;
        paths.chatDir = chatDir;
        const std::string refused = writeEntryFiles(paths, sampleForm());
        EXPECT_NE(refused.find(why), std::string::npos) << refused;
    }
    EXPECT_EQ(book.files(), 0u);
}

TEST(EntryFiles, FoldersTheUserCannotUseGetPlainMessages) {
    Book book;
    ::chmod(book.dir.path().c_str(), 0755);
    ASSERT_EQ(writeEntryFiles(book.paths, sampleForm("isp")), "");
    ::chmod(book.paths.peersDir.c_str(), 0555);
    const std::string why = asNobody([&] { return writeEntryFiles(book.paths, sampleForm("x")); });
    EXPECT_NE(why.find(book.paths.peersDir), std::string::npos) << why;
    EXPECT_NE(why.find("needs root"), std::string::npos) << why;
    EXPECT_NE(why.find("group dip"), std::string::npos) << why;
    EXPECT_EQ(book.files(), 3u);

    // A peers folder that cannot be read: listing and dialling say that group dip is needed.
    ::chmod(book.paths.peersDir.c_str(), 0700);
    const std::string listed = asNobody([&] {
        LinuxRasPaths paths;
        paths.peersDir = book.paths.peersDir;
        LinuxRemoteAccess ras(paths);
        std::vector<std::string> entries;
        std::uint64_t handle = 0;
        const int code = ras.dial({"isp", "", ""}, {}, handle);
        return (ras.listEntries(entries) ? std::string("listed") : std::string()) + "|" +
               ras.errorText(code);
    });
    EXPECT_EQ(listed.substr(0, 1), "|");
    EXPECT_NE(listed.find("cannot be read"), std::string::npos) << listed;
    EXPECT_NE(listed.find("group dip"), std::string::npos) << listed;
}

TEST(EntryFiles, PppconfigStylePeerFileIsReadAsItIs) {
    Book book;
    writeFile(book.paths.peersDir + "/provider",
              "# This optionfile was generated by pppconfig 2.3.18.\n"
              "hide-password\nnoauth\n"
              "connect \"/usr/sbin/chat -v -f /etc/chatscripts/provider -T 0123456\"\n"
              "debug\n/dev/ttyS1\n115200\ndefaultroute\nnoipdefault\nuser \"bob\"\n"
              "remotename provider\nipparam provider\nusepeerdns\n");
    PeerFile p;
    std::string error;
    ASSERT_TRUE(readPeerFile(book.paths.peersDir + "/provider", p, error)) << error;
    EXPECT_EQ(p.device, "/dev/ttyS1");
    EXPECT_EQ(p.speed, 115200);
    EXPECT_EQ(p.user, "bob");
    EXPECT_EQ(p.chatScript, "/etc/chatscripts/provider");
    EXPECT_EQ(p.phoneNumber, "0123456");
    EXPECT_EQ(p.pppdOptions, (std::vector<std::string>{
                                 "hide-password", "noauth", "debug", "defaultroute", "noipdefault",
                                 "remotename", "provider", "ipparam", "provider", "usepeerdns"}));
    // Root makes its line options as they are, quoted where pppd needs it.
    writeFile(book.paths.peersDir + "/provider",
              test::readFile(book.paths.peersDir + "/provider") + "remotename \"my isp\"\n");
    EXPECT_EQ(lineOptionsState(book.paths, "provider"), LineOptionsState::Missing);
    ASSERT_EQ(writeLineOptions(book.paths, "provider"), "");
    EXPECT_EQ(lineOptionsState(book.paths, "provider"), LineOptionsState::Current);
    const std::string lines = test::readFile(book.paths.peersDir + "/.tavu/provider");
    EXPECT_NE(lines.find("\nhide-password\nnoauth\ndebug\ndefaultroute\nnoipdefault\n"
                         "remotename provider\nipparam provider\nusepeerdns\n"
                         "remotename \"my isp\"\nuser bob\nlinkname provider\n"
                         "plugin passwordfd.so\n"),
              std::string::npos)
        << lines;
    EXPECT_EQ(pppdOptionWords(lines).back(), "/usr/bin/test /dev/ttyS1 -ef /proc/self/fd/0");
    EXPECT_NE(
        lineOptionsNeededText("provider", LineOptionsState::Stale).find("tavu prepare provider"),
        std::string::npos);
    // Its chat script is not ours: deleting the entry leaves it.
    writeFile(book.paths.chatDir + "/provider", "ABORT BUSY\n'' ATZ\nOK ATDT\\T\nCONNECT ''\n");
    p.chatScript = book.paths.chatDir + "/provider";
    EXPECT_EQ(chatAbortStrings(test::readFile(p.chatScript)), std::vector<std::string>{"BUSY"});
    writeFile(book.paths.peersDir + "/provider",
              "/dev/ttyS1\nconnect \"chat -f " + p.chatScript + "\"\n");
    EXPECT_EQ(deleteEntryFiles(book.paths, "provider"), "");
    EXPECT_FALSE(std::filesystem::exists(book.paths.peersDir + "/provider"));
    EXPECT_TRUE(std::filesystem::exists(p.chatScript));
    EXPECT_EQ(lineOptionsState(book.paths, "provider"), LineOptionsState::Missing);
    // An editor's entry takes its script along.
    ASSERT_EQ(writeEntryFiles(book.paths, sampleForm("own")), "");
    EXPECT_EQ(deleteEntryFiles(book.paths, "own"), "");
    EXPECT_EQ(book.files(), 1u);
}

// Root writes the line options in a folder that others may be able to write: a link or a
// folder of another user planted at .tavu is refused, never followed or changed.
TEST(EntryFiles, LineOptionsFolderThatIsALinkOrAnotherUsersIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the folder another owner";
    }
    Book book;
    ASSERT_EQ(writeEntryFiles(book.paths, sampleForm("isp")), "");
    const std::string folder = book.paths.peersDir + "/.tavu";
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    std::string why = writeLineOptions(book.paths, "isp");
    EXPECT_NE(why.find("belongs to another user"), std::string::npos) << why;
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);

    const std::string elsewhere = book.dir.file("elsewhere");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(elsewhere);
    ::chmod(elsewhere.c_str(), 0755);
    ASSERT_EQ(::symlink(elsewhere.c_str(), folder.c_str()), 0);
    why = writeLineOptions(book.paths, "isp");
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    ASSERT_EQ(::stat(elsewhere.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    // Deleting the entry does not reach through the link either.
    writeFile(elsewhere + "/isp", "kept\n");
    EXPECT_EQ(deleteEntryFiles(book.paths, "isp"), "");
    EXPECT_TRUE(std::filesystem::exists(elsewhere + "/isp"));
}

// pppd reads a file as one stream of words: an option's argument may be on the next line, and
// quotes and backslashes join words.
TEST(EntryFiles, OptionsAreReadAsPppdReadsThemAndWrittenBackTheSame) {
    Book book;
    writeFile(book.paths.peersDir + "/isp",
              "/dev/ttyS1 # the port\nconnect\n  \"/usr/sbin/chat -f /etc/chatscripts/isp\"\n"
              "user\n  bob\nipparam a\\ b\nremotename my\" isp\"\\'s\\\n-x\n"
              "name a#b\nescape \\x41\\061\n");
    PeerFile p;
    std::string error;
    ASSERT_TRUE(readPeerFile(book.paths.peersDir + "/isp", p, error)) << error;
    EXPECT_EQ(p.device, "/dev/ttyS1");
    EXPECT_EQ(p.user, "bob");
    EXPECT_EQ(p.chatScript, "/etc/chatscripts/isp");
    const std::vector<std::string> options = {"ipparam", "a b", "remotename", "my isp's-x",
                                              "name",    "a#b", "escape",     "A1"};
    EXPECT_EQ(p.pppdOptions, options);
    // The line options give pppd the same words and the user (the dial helper names none),
    // without the connect option.
    ASSERT_EQ(writeLineOptions(book.paths, "isp"), "");
    const std::vector<std::string> words =
        pppdOptionWords(test::readFile(book.paths.peersDir + "/.tavu/isp"));
    EXPECT_NE(std::search(words.begin(), words.end(), options.begin(), options.end()), words.end());
    const std::vector<std::string> user = {"user", "bob"};
    EXPECT_NE(std::search(words.begin(), words.end(), user.begin(), user.end()), words.end());
    EXPECT_EQ(std::find(words.begin(), words.end(), "/usr/sbin/chat -f /etc/chatscripts/isp"),
              words.end());
}

// Options that would read another file, run the link elsewhere or run a program of their own
// are not copied into the line options, and the device and its check come last, so that no
// option before them can replace them.
TEST(EntryFiles, LineOptionsDropOptionsThatReplaceTheLineOrItsCheck) {
    Book book;
    writeFile(book.paths.peersDir + "/isp",
              "/dev/ttyS1\nconnect \"/usr/sbin/chat -f /etc/chatscripts/isp\"\n"
              "file /tmp/other\ncall other\npty \"/bin/sh\"\nsocket 10.0.0.1:7\nnotty\n"
              "record /tmp/rec\nwelcome /tmp/w\ndisconnect /tmp/d\ndemand\nnoauth\n");
    ASSERT_EQ(writeLineOptions(book.paths, "isp"), "");
    const std::vector<std::string> words =
        pppdOptionWords(test::readFile(book.paths.peersDir + "/.tavu/isp"));
    for (const char* gone : {"file", "/tmp/other", "call", "other", "pty", "/bin/sh", "socket",
                             "notty", "record", "/tmp/rec", "/tmp/w", "/tmp/d", "demand"}) {
        EXPECT_EQ(std::find(words.begin(), words.end(), gone), words.end()) << gone;
    }
    EXPECT_NE(std::find(words.begin(), words.end(), "noauth"), words.end());
    // The scripts pppd runs as root are pinned empty.
    for (const char* pinned : {"init", "welcome", "disconnect"}) {
        const auto at = std::find(words.begin(), words.end(), pinned);
        ASSERT_NE(at, words.end()) << pinned;
        ASSERT_NE(at + 1, words.end());
        EXPECT_EQ(*(at + 1), "") << pinned;
    }
    ASSERT_GE(words.size(), 3u);
    EXPECT_EQ(words[words.size() - 3], "/dev/ttyS1");
    EXPECT_EQ(words[words.size() - 2], "connect");
}

TEST(EntryFiles, SerialDevicesAreListedInNumberOrder) {
    TempDir dev;
    for (const char* n : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "rfcomm0", "tty1", "ttyS", "sda",
                          "ttyUSBx", "modem"}) {
        writeFile(dev.file(n), "");
    }
    const std::vector<std::string> expected = {dev.file("modem"),   dev.file("rfcomm0"),
                                               dev.file("ttyACM1"), dev.file("ttyS2"),
                                               dev.file("ttyS10"),  dev.file("ttyUSB0")};
    EXPECT_EQ(serialDevicesPresent(dev.path()), expected);
}

// Devices that any user can make or open as their own are refused, by name and through links.
TEST(EntryFiles, DevicesAUserCanTakeOverAreRefusedByName) {
    for (const char* device : {"/dev/shm/modem", "/dev/mqueue/modem", "/dev/pts/3", "/dev/ptmx"}) {
        const std::string problem = takeoverDeviceProblem(device);
        EXPECT_NE(problem.find(std::string("The device ") + device + " "), std::string::npos)
            << problem;
    }
    TempDir dir;
    const std::string toPtmx = dir.file("modem"), toPts = dir.file("usb-modem");
    std::filesystem::create_symlink("/dev/ptmx", toPtmx);
    EXPECT_NE(takeoverDeviceProblem(toPtmx).find(toPtmx + " leads to /dev/ptmx"),
              std::string::npos);
    test::ModemEmulator pts({});
    ASSERT_TRUE(pts.ok());
    std::filesystem::create_symlink(pts.device(), toPts);
    EXPECT_NE(takeoverDeviceProblem(toPts).find(toPts), std::string::npos);
    // A serial port (here one that is absent) and the null device are not a user's.
    EXPECT_EQ(takeoverDeviceProblem("/dev/ttyS0"), "");
    EXPECT_EQ(takeoverDeviceProblem("/dev/null"), "");
}

}  // namespace
}  // namespace tavu::platform
