#include <gtest/gtest.h>

#include <sstream>

#include "app/cli.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "support/fake_pop3_server.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

struct MailRun {
    std::optional<int> status;
    std::string out;
    std::string err;
};

MailRun runMail(const std::string& configDir, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"mail", "--config-dir", configDir};
    args.insert(args.end(), extra.begin(), extra.end());
    ManualClock clock(fromLocal(2026, 3, 15, 12));
    std::ostringstream out;
    std::ostringstream err;
    CommandLine command;
    MailRun r;
    r.status = runCommandLine(args, out, err, clock, "/nonexistent", command);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(MailCommand, PrintsWhatTheProgressWindowShowsWithItsStatus) {
    test::TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Settings", "MUser", "joe");
    s.writeString("Settings", "MPassword", "secret");
    s.writeString("Settings", "MSecurity", "none");
    {
        test::FakePop3Server server(test::pop3Dialogue("+OK 3 4512\r\n"));
        s.writeString("Settings", "MServer", server.address());
        const MailRun r = runMail(dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "You have 3 new email(s)\n");
        EXPECT_EQ(server.receivedWhenClosed().at(0), "USER joe\r\n");
    }
    {
        test::FakePop3Server server(test::pop3Dialogue("+OK 0 0\r\n"));
        s.writeString("Settings", "MServer", server.address());
        const MailRun r = runMail(dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "There are no new emails.\n");
    }
    {
        test::FakePop3Server server({test::say("-ERR busy\r\n")});
        s.writeString("Settings", "MServer", server.address());
        const MailRun r = runMail(dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Error connecting to the server.\nCheck your email settings!\n");
    }
    // The default security never sends the password to a server without STLS.
    {
        test::FakePop3Server server(
            {test::say("+OK\r\n"), test::hear(), test::say("+OK\r\nUSER\r\n.\r\n")});
        s.writeString("Settings", "MServer", server.address());
        s.writeString("Settings", "MSecurity", "");
        EXPECT_EQ(runMail(dir.path()).status, 1);
        EXPECT_EQ(server.receivedWhenClosed(), std::vector<std::string>{"CAPA\r\n"});
    }
    const MailRun bad = runMail(dir.path(), {"now"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("tavu: "), std::string::npos);
}

}  // namespace
}  // namespace tavu
