#include "net/pop3_client.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QSslKey>
#include <QSslSocket>
#include <chrono>
#include <cstdlib>

#include "net/mail_check.h"
#include "support/fake_pop3_server.h"
#include "support/run_quiet.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tavu {
namespace {

using namespace std::chrono_literals;
using test::FakePop3Server;
using test::hangUp;
using test::hear;
using test::pauseMs;
using test::pop3Dialogue;
using test::say;
using test::ServerStep;
using Lines = std::vector<std::string>;

MailCheckSettings plain(const FakePop3Server& server, std::string user = "joe") {
    MailCheckSettings s;
    s.server = server.address();
    s.user = std::move(user);
    s.password = "secret";
    s.security = MailSecurity::None;
    s.timeout = 2s;
    return s;
}

std::string check(const MailCheckSettings& s) {
    return mailResultText(runMailCheck(s));
}

TEST(Pop3Exchange, SendsUserPassAndStatAndNoQuit) {
    FakePop3Server server(pop3Dialogue("+OK 3 4512\r\n"));
    EXPECT_EQ(check(plain(server, "joe q. public")), "You have 3 new email(s)");
    EXPECT_EQ(server.receivedWhenClosed(),
              (Lines{"USER joe q. public\r\n", "PASS secret\r\n", "STAT \r\n"}));
}

TEST(Pop3Exchange, OnlyAnUpperCaseErrAtTheStartFails) {
    FakePop3Server greetingErr({say("-ERR go away\r\n")});
    EXPECT_EQ(check(plain(greetingErr)), kMailFailureText);
    EXPECT_EQ(greetingErr.receivedWhenClosed(), Lines{}) << "USER is never sent";

    FakePop3Server passErr({say("+OK\r\n"), hear(), say("+OK\r\n"), hear(), say("-ERR no\r\n")});
    EXPECT_EQ(check(plain(passErr)), kMailFailureText);
    EXPECT_EQ(passErr.receivedWhenClosed(), (Lines{"USER joe\r\n", "PASS secret\r\n"}));

    FakePop3Server lowerCase({say("-err hello\r\n"), hear(), say("-err\r\n"), hear(),
                              say("whatever\r\n"), hear(), say("+OK 2 10\r\n")});
    EXPECT_EQ(check(plain(lowerCase)), "You have 2 new email(s)");
}

TEST(Pop3Exchange, StatRepliesOfAllShapes) {
    struct Case {
        const char* reply;
        const char* shown;
    } cases[] = {
        {"+OK\t2\t900\r\n", "You have 2 new email(s)"},
        {"+OK 0 0\r\n", kNoNewMailText},
        {"+OK\r\n", kNoNewMailText},
        {"+OK -4 0\r\n", kNoNewMailText},
        {"+OK 12345 99\r\n", "You have 12345 new email(s)"},
        {"+OK 99999999999 1\r\n", "You have 4294967295 new email(s)"},
    };
    for (const Case& c : cases) {
        FakePop3Server server(pop3Dialogue(c.reply));
        EXPECT_EQ(check(plain(server)), c.shown) << c.reply;
    }
}

TEST(Pop3Exchange, AReplySplitByTheNetworkIsReadWhole) {
    FakePop3Server server({say("+OK ready\r\n"), hear(), say("+OK\r\n"), hear(), say("+OK\r\n"),
                           hear(), say("+OK"), pauseMs(200), say(" 3 4512\r\n")});
    EXPECT_EQ(check(plain(server)), "You have 3 new email(s)");

    // A line longer than a reply is cut, and the next reply is still the next line.
    std::vector<test::ServerStep> script = pop3Dialogue("+OK 3 4512\r\n");
    script.front() = say("+OK " + std::string(2500, 'x') + "\r\n");
    FakePop3Server longGreeting(script);
    EXPECT_EQ(check(plain(longGreeting)), "You have 3 new email(s)");
}

TEST(Pop3Exchange, SilenceClosingAndTricklingFail) {
    // A server that closes at once, or after the greeting, has said nothing about the mailbox.
    FakePop3Server atOnce({hangUp()});
    EXPECT_EQ(check(plain(atOnce)), kMailFailureText);
    FakePop3Server closing({say("+OK ready\r\n"), hangUp()});
    EXPECT_EQ(check(plain(closing)), kMailFailureText);

    FakePop3Server silent({say("+OK ready\r\n"), hear(), pauseMs(3000)});
    MailCheckSettings s = plain(silent);
    s.timeout = 300ms;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(check(s), kMailFailureText);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms) << "the wait ended by itself";

    // Each reply comes within the time-out, but the exchange as a whole does not.
    FakePop3Server trickling({say("+OK ready\r\n"), hear(), pauseMs(150), say("+OK\r\n"), hear(),
                              pauseMs(150), say("+OK\r\n"), hear(), pauseMs(150),
                              say("+OK 3 4512\r\n")});
    s = plain(trickling);
    s.timeout = 400ms;
    EXPECT_EQ(check(s), kMailFailureText);
}

TEST(Pop3Exchange, NothingIsSentCutOrInClear) {
    FakePop3Server longUser(pop3Dialogue("+OK 1 1\r\n"));
    EXPECT_EQ(check(plain(longUser, std::string(506, 'u'))), kMailFailureText);
    EXPECT_EQ(longUser.receivedWhenClosed(), Lines{});

    FakePop3Server fits(pop3Dialogue("+OK 1 1\r\n"));
    EXPECT_EQ(check(plain(fits, std::string(505, 'u'))), "You have 1 new email(s)");

    // starttls against a server that does not offer STLS: the user name never goes out.
    FakePop3Server noStls({say("+OK ready\r\n"), hear(), say("+OK\r\nUSER\r\nTOP\r\n.\r\n")});
    MailCheckSettings s = plain(noStls);
    s.security = MailSecurity::StartTls;
    EXPECT_EQ(check(s), kMailFailureText);
    EXPECT_EQ(noStls.receivedWhenClosed(), Lines{"CAPA\r\n"});

    MailCheckSettings empty;
    empty.security = MailSecurity::None;
    EXPECT_EQ(check(empty), kNoMailServerText);
}

// A mailbox in TLS on loopback for one client, with a certificate of the test's making: it
// answers the dialogue of pop3Dialogue with two messages.
class TlsPop3Server {
  public:
    TlsPop3Server(const std::string& certificate, const std::string& key)
        : script_(pop3Dialogue("+OK 2 10\r\n")) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 1);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, certificate, key] { serve(certificate, key); });
    }
    ~TlsPop3Server() {
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }

  private:
    void serve(const std::string& certificate, const std::string& key) {
        pollfd p{listen_, POLLIN, 0};
        const int fd = ::poll(&p, 1, 5000) == 1 ? ::accept4(listen_, nullptr, nullptr, 0) : -1;
        QSslSocket tls;
        if (fd < 0 || !tls.setSocketDescriptor(fd)) {
            return;
        }
        tls.setLocalCertificate(QString::fromStdString(certificate));
        tls.setPrivateKey(QString::fromStdString(key), QSsl::Ec);
        tls.startServerEncryption();
        if (!tls.waitForEncrypted(5000)) {
            return;
        }
        for (const ServerStep& step : script_) {
            if (step.kind == ServerStep::Send) {
                tls.write(step.text.data(), static_cast<qint64>(step.text.size()));
                tls.waitForBytesWritten(5000);
                continue;
            }
            while (!tls.canReadLine() && tls.waitForReadyRead(5000)) {
            }
            if (!tls.canReadLine()) {
                return;
            }
            tls.readLine();
        }
        tls.waitForDisconnected(5000);
    }

    std::vector<ServerStep> script_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(Pop3Exchange, OnlyTheAlternativeNamesOfACertificateCount) {
    if (!test::runQuiet({"openssl", "version"}) || !QSslSocket::supportsSsl()) {
        GTEST_SKIP() << "needs the openssl command and Qt's TLS";
    }
    test::TempDir dir;
    const char* oldCertFile = std::getenv("SSL_CERT_FILE");
    const std::string savedCertFile = oldCertFile ? oldCertFile : "";
    // Checks over TLS against a server whose self-signed certificate has this subject and these
    // alternative names; the certificate is the one trusted.
    auto checkWith = [&](const std::string& host, const std::string& commonName,
                         const std::string& alternativeNames) {
        const std::string cert = dir.file("cert.pem");
        const std::string key = dir.file("key.pem");
        if (!test::runQuiet({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert,
                             "-days", "2", "-subj", "/CN=" + commonName, "-addext",
                             "subjectAltName=" + alternativeNames})) {
            return std::string("openssl could not make the certificate");
        }
        ::setenv("SSL_CERT_FILE", cert.c_str(), 1);
        TlsPop3Server server(cert, key);
        MailCheckSettings s;
        s.server = host + ":" + std::to_string(server.port());
        s.user = "joe";
        s.password = "secret";
        s.security = MailSecurity::Tls;
        s.timeout = 5s;
        return check(s);
    };
    EXPECT_EQ(checkWith("localhost", "localhost", "DNS:localhost"), "You have 2 new email(s)");
    EXPECT_EQ(checkWith("localhost", "localhost", "DNS:mail.example.org"), kMailFailureText);
    EXPECT_EQ(checkWith("127.0.0.1", "127.0.0.1", "DNS:localhost"), kMailFailureText);
    EXPECT_EQ(checkWith("127.0.0.1", "nobody", "IP:127.0.0.1"), "You have 2 new email(s)");
    if (savedCertFile.empty()) {
        ::unsetenv("SSL_CERT_FILE");
    } else {
        ::setenv("SSL_CERT_FILE", savedCertFile.c_str(), 1);
    }
}

TEST(Pop3Settings, ServerAndSecurityTexts) {
    EXPECT_EQ(parseMailSecurity(""), MailSecurity::StartTls);
    EXPECT_EQ(parseMailSecurity(" TLS "), MailSecurity::Tls);
    EXPECT_EQ(parseMailSecurity("none"), MailSecurity::None);
    EXPECT_EQ(parseMailSecurity("ssl3"), MailSecurity::StartTls);

    auto addr = [](const char* text, MailSecurity s) {
        const MailServerAddress a = parseMailServer(text, s);
        return a.host + "|" + std::to_string(a.port);
    };
    EXPECT_EQ(addr("pop.example.org", MailSecurity::StartTls), "pop.example.org|110");
    EXPECT_EQ(addr("pop.example.org", MailSecurity::Tls), "pop.example.org|995");
    EXPECT_EQ(addr("10.0.0.1:1110", MailSecurity::Tls), "10.0.0.1|1110");
    EXPECT_EQ(addr("[::1]:2110", MailSecurity::None), "::1|2110");
    EXPECT_EQ(addr("::1", MailSecurity::None), "::1|110");
    EXPECT_EQ(addr("host:99999", MailSecurity::None), "host|110");
}

}  // namespace
}  // namespace tavu
