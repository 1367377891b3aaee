// The mailbox check against a real Dovecot on loopback, in a network namespace of the test's
// own (so ports 110 and 995 are free). Needs root and the dovecot-pop3d and openssl packages.

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "app/cli.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "net/mail_check.h"
#include "platform/linux_netns.h"
#include "support/run_quiet.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tavu {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uid_t kMailUid = 65534;  // the mailbox's owner: nobody

bool bringLoopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq r{};
    std::strncpy(r.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &r) == 0;
    r.ifr_flags |= IFF_UP | IFF_RUNNING;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &r) == 0;
    ::close(fd);
    return ok;
}

bool portOpen(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A self-signed certificate for localhost and 127.0.0.1.
bool makeCertificate(const std::string& cert, const std::string& key) {
    return test::runQuiet({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                           "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert,
                           "-days", "2", "-subj", "/CN=localhost", "-addext",
                           "subjectAltName=DNS:localhost,IP:127.0.0.1"});
}

// Dovecot with a private configuration: user joe, password "secret", a Maildir, ssl with the
// test's certificate, started as root with its own base folder and no system configuration.
class Dovecot {
  public:
    explicit Dovecot(const test::TempDir& dir) : dir_(dir.path()) {}
    ~Dovecot() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    std::string certificate() const { return dir_ + "/cert.pem"; }

    // Writes the configuration and starts the server; empty when it answers on port 110 and 995.
    std::string start() {
        ::chmod(dir_.c_str(), 0755);
        if (!makeCertificate(certificate(), dir_ + "/key.pem")) {
            return "openssl could not make a certificate";
        }
        const std::string maildir = dir_ + "/home/joe/Maildir";
        for (const char* sub : {"cur", "new", "tmp"}) {
            fs::create_directories(maildir + "/" + sub);
        }
        for (const auto& p : fs::recursive_directory_iterator(dir_ + "/home")) {
            ::chown(p.path().c_str(), kMailUid, kMailUid);
        }
        ::chown((dir_ + "/home").c_str(), kMailUid, kMailUid);
        test::writeFile(dir_ + "/passwd", "joe:{PLAIN}secret::::::\n");
        const std::string d = dir_;
        test::writeFile(dir_ + "/dovecot.conf",
                        "protocols = pop3\n"
                        "listen = 127.0.0.1\n"
                        "base_dir = " +
                            d +
                            "/run\n"
                            "state_dir = " +
                            d +
                            "/state\n"
                            "log_path = " +
                            d +
                            "/dovecot.log\n"
                            "ssl = yes\n"
                            "ssl_cert = <" +
                            d +
                            "/cert.pem\n"
                            "ssl_key = <" +
                            d +
                            "/key.pem\n"
                            "disable_plaintext_auth = no\n"
                            "auth_mechanisms = plain\n"
                            "auth_failure_delay = 0\n"
                            "login_trusted_networks = 127.0.0.0/8\n"
                            "mail_location = maildir:~/Maildir\n"
                            "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " +
                            d +
                            "/passwd\n}\n"
                            "userdb {\n  driver = static\n  args = uid=65534 gid=65534 home=" +
                            d +
                            "/home/%u\n}\n"
                            "service pop3-login {\n"
                            "  inet_listener pop3 {\n    port = 110\n  }\n"
                            "  inet_listener pop3s {\n    port = 995\n    ssl = yes\n  }\n"
                            "}\n"
                            "service anvil {\n  chroot =\n}\n");
        std::vector<std::string> args = {"dovecot", "-F", "-c", dir_ + "/dovecot.conf"};
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, "/usr/sbin/dovecot", nullptr, nullptr, argv.data(), environ) !=
            0) {
            pid_ = -1;
            return "dovecot could not be started";
        }
        for (int i = 0; i < 200; ++i) {
            if (portOpen(110) && portOpen(995)) {
                return {};
            }
            std::this_thread::sleep_for(50ms);
        }
        return "dovecot did not answer; its log:\n" + test::readFile(dir_ + "/dovecot.log");
    }

    void deliver(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string file = dir_ + "/home/joe/Maildir/new/" +
                                     std::to_string(1700000000 + i) + ".M" + std::to_string(i) +
                                     ".tavu14";
            test::writeFile(file, "From: a@example.org\r\nSubject: " + std::to_string(i) +
                                      "\r\n\r\nHello.\r\n");
            ::chown(file.c_str(), kMailUid, kMailUid);
        }
    }

    std::string log() const { return test::readFile(dir_ + "/dovecot.log"); }

  private:
    std::string dir_;
    pid_t pid_ = -1;
};

std::string check(MailSecurity security, const std::string& server,
                  const std::string& password = "secret") {
    MailCheckSettings s;
    s.server = server;
    s.user = "joe";
    s.password = password;
    s.security = security;
    s.timeout = 10s;
    return mailResultText(runMailCheck(s));
}

TEST(RealMailServer, CountsOverPlainStartTlsAndTls) {
    if (const std::string why = test::netnsUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    if (::access("/usr/sbin/dovecot", X_OK) != 0 || !fs::exists("/usr/lib/dovecot/pop3")) {
        GTEST_SKIP() << "needs the dovecot-core and dovecot-pop3d packages";
    }
    if (!test::runQuiet({"openssl", "version"})) {
        GTEST_SKIP() << "needs the openssl command";
    }
    const char* oldCertFile = std::getenv("SSL_CERT_FILE");
    const std::string savedCertFile = oldCertFile ? oldCertFile : "";
    test::TempDir dir;
    const std::string failure = test::runInNewNetns([&] {
        ASSERT_TRUE(bringLoopbackUp());
        Dovecot dovecot(dir);
        const std::string why = dovecot.start();
        ASSERT_EQ(why, "");
        ::setenv("SSL_CERT_FILE", dovecot.certificate().c_str(), 1);

        EXPECT_EQ(check(MailSecurity::None, "127.0.0.1"), kNoNewMailText);
        EXPECT_EQ(check(MailSecurity::StartTls, "localhost"), kNoNewMailText) << dovecot.log();

        dovecot.deliver(3);
        EXPECT_EQ(check(MailSecurity::None, "127.0.0.1:110"), "You have 3 new email(s)");
        EXPECT_EQ(check(MailSecurity::StartTls, "localhost"), "You have 3 new email(s)");
        EXPECT_EQ(check(MailSecurity::Tls, "localhost"), "You have 3 new email(s)");
        EXPECT_EQ(check(MailSecurity::Tls, "127.0.0.1:995"), "You have 3 new email(s)");

        // The command line with the stored settings and the default security.
        {
            SettingsStore settings(dir.file("tavu.ini"));
            settings.writeString("Settings", "MServer", "localhost");
            settings.writeString("Settings", "MUser", "joe");
            settings.writeString("Settings", "MPassword", "secret");
            std::ostringstream out;
            std::ostringstream err;
            CommandLine command;
            ManualClock clock(fromLocal(2026, 3, 15, 12));
            EXPECT_EQ(
                runCommandLine({"mail", "--config-dir", dir.path()}, out, err, clock, "/", command),
                0);
            EXPECT_EQ(out.str(), "You have 3 new email(s)\n");
        }

        // A certificate nobody vouches for: another one is trusted instead.
        const std::string other = dir.file("other.pem");
        ASSERT_TRUE(makeCertificate(other, dir.file("other-key.pem")));
        ::setenv("SSL_CERT_FILE", other.c_str(), 1);
        EXPECT_EQ(check(MailSecurity::StartTls, "localhost"), kMailFailureText);
        EXPECT_EQ(check(MailSecurity::Tls, "localhost"), kMailFailureText);
        // The right certificate for another name.
        ::setenv("SSL_CERT_FILE", dovecot.certificate().c_str(), 1);
        EXPECT_EQ(check(MailSecurity::Tls, "127.0.0.2:995"), kMailFailureText);

        // A wrong password (one only: the server slows down repeated failures).
        EXPECT_EQ(check(MailSecurity::Tls, "localhost", "wrong"), kMailFailureText);
    });
    if (savedCertFile.empty()) {
        ::unsetenv("SSL_CERT_FILE");
    } else {
        ::setenv("SSL_CERT_FILE", savedCertFile.c_str(), 1);
    }
    ASSERT_EQ(failure, "");
}

}  // namespace
}  // namespace tavu
