#include "net/pop3_client.h"

#include <gtest/gtest.h>

#include <chrono>

#include "net/mail_check.h"
#include "support/fake_pop3_server.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;
using test::FakePop3Server;
using test::hangUp;
using test::hear;
using test::pauseMs;
using test::pop3Dialogue;
using test::say;
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
    EXPECT_EQ(check(empty), kMailFailureText);
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
