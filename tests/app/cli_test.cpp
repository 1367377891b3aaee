#include "app/cli.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "app/remote_command.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "log/log_record.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::TempDir;
using test::writeFile;

struct CliRun {
    std::optional<int> status;
    std::string out;
    std::string err;
    CommandLine command;
};

CliRun run(std::vector<std::string> args, const std::string& exeDir = "/nonexistent") {
    ManualClock clock(fromLocal(2026, 3, 15, 12));
    std::ostringstream out;
    std::ostringstream err;
    CliRun r;
    r.status = runCommandLine(args, out, err, clock, exeDir, r.command);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(CommandLine, UsageErrorsAreOneLineWithStatusTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--bogus"},
                                                                  {"report", "extra"},
                                                                  {"--config-dir"},
                                                                  {"summary", "--filter", "weekly"},
                                                                  {"report", "--format", "xml"},
                                                                  {"summary", "--format", "csv"},
                                                                  {"--format", "json"},
                                                                  {"report", "--simulate", "x.ini"},
                                                                  {"-platform"}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(CommandLine, MonitorRefusesAMetricsAddressThatIsNoneBeforeItStarts) {
    const TempDir dir;
    for (const char* metrics :
         {"--metrics=localhost:9817", "--metrics=127.0.0.1:0", "--metrics=[::1]", "--metrics"}) {
        const CliRun r = run({"monitor", "--config-dir", dir.path(), metrics});
        EXPECT_EQ(r.status, 2) << metrics;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    }
}

TEST(CommandLine, CommandNamesAndTheirAnswers) {
    EXPECT_EQ(remoteCommandId("connect"), 32848);
    EXPECT_EQ(remoteCommandId("check-mail"), 32835);
    EXPECT_EQ(remoteCommandId("net-tools"), 32852);
    EXPECT_EQ(remoteCommandId("preferences"), 32838);
    EXPECT_EQ(remoteCommandId("preferences:0"), 32813);
    EXPECT_EQ(remoteCommandId("preferences:7"), 32845);
    EXPECT_EQ(remoteCommandId("preferences:8"), std::nullopt);
    EXPECT_EQ(remoteCommandId("help"), 32780);
    EXPECT_EQ(remoteCommandId("exit"), 1052);
    EXPECT_EQ(remoteCommandId("Connect"), std::nullopt);

    CliRun unknown = run({"--command", "dance"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("dance"), std::string::npos);
    for (const char* name : {"connect", "hangup", "timer", "preferences:N", "exit"}) {
        EXPECT_NE(unknown.err.find(std::string("  ") + name + "\n"), std::string::npos) << name;
    }
    EXPECT_EQ(run({"--command"}).status, 2);

    // No running copy behind the channel.
    TempDir runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    CliRun alone = run({"--config-dir", runtime.path(), "--command=connect"});
    old ? setenv("XDG_RUNTIME_DIR", saved.c_str(), 1) : unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(alone.status, 1);
    EXPECT_EQ(alone.err, "TAVU is not running.\n");
}

TEST(CommandLine, HelpVersionAndStart) {
    CliRun r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "TAVU Online Timer 1.1 BETA\n");
    r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("tavu report"), std::string::npos);

    r = run({"--config-dir=/tmp/c", "--simulate", "line.ini", "-platform", "offscreen"});
    EXPECT_FALSE(r.status.has_value());
    EXPECT_EQ(r.command.mode, CommandLine::Mode::Run);
    EXPECT_EQ(r.command.configDir, "/tmp/c");
    EXPECT_EQ(r.command.simulateFile, "line.ini");
    EXPECT_EQ(r.command.toolkitArgs, (std::vector<std::string>{"-platform", "offscreen"}));
}

TEST(CommandLine, ReportListsNewestFirstWithTenColumns) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Price", "PricePerDial", "0.5");
    s.writeString("Price", "CostPerMinute", "0.1");
    writeFile(dir.file("logfile.log"),
              composeRecord({"01-05-2026", "10:00:00", "01-05-2026", "10:10:00", "joe", "ttyS0",
                             "ISP", "10", "20"}) +
                  composeRecord({"02-05-2026", "23:50:00", "03-05-2026", "00:10:00", "", "ttyS0",
                                 "ISP", "30", "40"}) +
                  "\r\n" + "03-05-2026|10:00:00|03-05-2026|11:00:00|sam\tx|\r\n" +
                  composeRecord({"04-05-2026", "10:00:00", "05-05-2026", "11:00:00", "joe", "ttyS0",
                                 "ISP", "1", "2"}));
    const CliRun r = run({"report", "--config-dir", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "Date\tStart time\tEnd time\tDuration\tUser\tDevice\tISP\tUploaded\tDownloaded\tPrice\n"
        "04-05-2026\t10:00:00\t11:00:00\t25:00:00\tjoe\tttyS0\tISP\t1\t2\t150.50\n"
        "03-05-2026\t10:00:00\t11:00:00\t01:00:00\tsam x\t\t\t\t\t6.50\n"
        "02-05-2026\t23:50:00\t00:10:00\t00:20:00\t\tttyS0\tISP\t30\t40\t2.50\n"
        "01-05-2026\t10:00:00\t10:10:00\t00:10:00\tjoe\tttyS0\tISP\t10\t20\t1.50\n");
}

TEST(CommandLine, ReportCountsTheTimeThatPassedAcrossSummerTimeChanges) {
    ASSERT_TRUE(test::LocalZone::known("Europe/Helsinki")) << "the tzdata package is missing";
    test::LocalZone zone("Europe/Helsinki");
    TempDir dir;
    writeFile(dir.file("logfile.log"),
              composeRecord({"25-10-2026", "03:30:00", "25-10-2026", "03:20:00", "joe", "ttyS0",
                             "ISP", "1", "2"}) +
                  composeRecord({"29-03-2026", "02:30:00", "29-03-2026", "04:30:00", "joe", "ttyS0",
                                 "ISP", "1", "2"}));
    const CliRun r = run({"report", "--config-dir", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("25-10-2026\t03:30:00\t03:20:00\t00:50:00\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("29-03-2026\t02:30:00\t04:30:00\t01:00:00\t"), std::string::npos) << r.out;
}

TEST(CommandLine, ReportExportsCsvAndJsonWithHostileFieldsKeptValid) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Price", "PricePerDial", "0.5");
    s.writeString("Price", "CostPerMinute", "0.1");
    writeFile(dir.file("logfile.log"),
              composeRecord({"14-03-2026", "23:50:00", "15-03-2026", "00:10:00", "joe", "ttyS0",
                             "ISP", "10", "20"}) +
                  std::string("15-03-2026|10:00:00|15-03-2026|10:01:00|a \"b\", c|d\x01\x1f"
                              "\x7f|\xff\xc3(\xe2\x82\xac|12x|5|\r\n") +
                  "1-2-3|10:00:00|1-2-3|10:00:00|u|d|i|1|2|\r\n");
    CliRun r = run({"report", "--config-dir", dir.path(), "--format", "csv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Date,Start time,End time,Duration,Duration (s),User,Device,ISP,Uploaded,"
              "Downloaded,Price\r\n"
              "1-2-3,10:00:00,10:00:00,00:00:00,0,u,d,i,1,2,0.50\r\n"
              "2026-03-15,10:00:00,10:01:00,00:01:00,60,\"a \"\"b\"\", c\",d   ,"
              "\xef\xbf\xbd\xef\xbf\xbd(\xe2\x82\xac,12,5,0.60\r\n"
              "2026-03-14,23:50:00,00:10:00,00:20:00,1200,joe,ttyS0,ISP,10,20,2.50\r\n");

    // The terminal gets no control character from the log.
    r = run({"report", "--config-dir", dir.path()});
    EXPECT_EQ(r.out.find_first_of(std::string("\x01\x1f\x7f\r", 4)), std::string::npos);

    r = run({"report", "--config-dir", dir.path(), "--format=json", "--filter", "month"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"records\":[\n"
              "{\"date\":\"2026-03-15\",\"start_time\":\"10:00:00\",\"end_time\":\"10:01:00\","
              "\"duration\":\"00:01:00\",\"duration_seconds\":60,\"user\":\"a \\\"b\\\", c\","
              "\"device\":\"d\\u0001\\u001f\\u007f\",\"isp\":\"\xef\xbf\xbd\xef\xbf\xbd("
              "\xe2\x82\xac\",\"uploaded\":12,\"downloaded\":5,\"price\":0.60},\n"
              "{\"date\":\"2026-03-14\",\"start_time\":\"23:50:00\",\"end_time\":\"00:10:00\","
              "\"duration\":\"00:20:00\",\"duration_seconds\":1200,\"user\":\"joe\","
              "\"device\":\"ttyS0\",\"isp\":\"ISP\",\"uploaded\":10,\"downloaded\":20,"
              "\"price\":2.50}],\n"
              "\"totals\":{\"connections\":2,\"total_time_online\":1260,\"total_cost\":3.10,"
              "\"average_cost_per_connection\":1.55,\"average_connection_length\":630,"
              "\"total_data_uploaded\":22,\"total_data_downloaded\":25,"
              "\"total_data_transmitted\":47,\"projected_cost\":6.63,\"projected_data\":100}}\n");
    const std::string totals = r.out.substr(r.out.find("\"totals\":") + 9);
    r = run({"summary", "--config-dir", dir.path(), "--format", "json", "--filter", "month"});
    EXPECT_EQ(r.out, totals.substr(0, totals.size() - 2) + "\n");

    // The table stays as it was, and takes the filter too: today holds ten minutes of the
    // connection that began last night, which keeps its one row at its full price.
    r = run({"report", "--config-dir", dir.path(), "--filter", "today"});
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1).rfind("15-03-2026\t10:00:00\t", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n14-03-2026\t23:50:00\t00:10:00\t00:20:00\t"), std::string::npos)
        << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
}

TEST(CommandLine, SummaryUsesTheStoredFilterUnlessGivenOne) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    writeFile(dir.file("logfile.log"),
              composeRecord({"15-03-2026", "10:00:00", "15-03-2026", "10:01:40", "joe", "d", "i",
                             "1000", "2000"}) +
                  composeRecord({"01-01-2026", "10:00:00", "01-01-2026", "10:01:41", "joe", "d",
                                 "i", "1", "2"}));
    CliRun r = run({"summary", "--config-dir", dir.path()});
    EXPECT_EQ(r.out,
              "Connections\t2\n"
              "Total time online\t00:03:21\n"
              "Total cost\t0.00\n"
              "Average cost per connection\t0.00\n"
              "Average connection lenght\t00:01:40\n"
              "Total data uploaded\t1001\n"
              "Total data downloaded\t2002\n"
              "Total data transmitted\t3003\n");

    s.writeInt("Settings", "SummaryWhen", 2);
    r = run({"summary", "--config-dir", dir.path()});
    EXPECT_NE(r.out.find("Connections\t1\n"), std::string::npos);

    r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_NE(r.out.find("Connections\t1\n"), std::string::npos);
    r = run({"summary", "--config-dir", dir.path(), "--filter=all"});
    EXPECT_NE(r.out.find("Connections\t2\n"), std::string::npos);
    EXPECT_EQ(s.readInt("Settings", "SummaryWhen", 0), 2) << "a given filter is not stored";
}

TEST(CommandLine, SummaryProjectsThePeriodOnlyWithThePeriodFilter) {
    test::LocalZone zone("UTC");
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Price", "CostPerMB", "0.25");
    s.writeInt("Settings", "BillingDay", 15);
    writeFile(dir.file("logfile.log"),
              composeRecord({"14-03-2026", "10:00:00", "14-03-2026", "10:01:40", "joe", "d", "i",
                             "5000000", "0"}) +
                  composeRecord({"15-03-2026", "10:00:00", "15-03-2026", "10:01:40", "joe", "d",
                                 "i", "1000000", "1000000"}));
    // 12 hours of a period of 31 days have passed.
    CliRun r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_NE(r.out.find("Total data transmitted\t2000000\n"
                         "Projected cost this period\t31.00\n"
                         "Projected data this period\t124000000\n"),
              std::string::npos)
        << r.out;
    r = run({"summary", "--config-dir", dir.path(), "--filter", "all"});
    EXPECT_EQ(r.out.find("Projected"), std::string::npos) << r.out;

    writeFile(dir.file("logfile.log"), "");
    r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_NE(r.out.find("Projected cost this period\t0.00\nProjected data this period\t0\n"),
              std::string::npos)
        << r.out;
}

TEST(CommandLine, SummaryOfNothing) {
    TempDir dir;
    const CliRun r = run({"summary", "--config-dir", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Connections\t0\n"
              "Total time online\t00:00:00\n"
              "Total cost\t0.00\n"
              "Average cost per connection\t0\n"
              "Average connection lenght\t00:00:00\n"
              "Total data uploaded\t0\n"
              "Total data downloaded\t0\n"
              "Total data transmitted\t0\n");
}

// `tavu` prints only what needs no Qt library and hands the rest, unchanged, to the program
// that runs it: a wrong choice either loads the windows for a script or loses a command.
TEST(CommandLine, EachCommandLineGoesToTheProgramThatRunsIt) {
    const std::vector<std::pair<std::vector<std::string>, Program>> cases = {
        {{"--version"}, Program::Text},
        {{"summary", "--config-dir", "d", "--format", "json"}, Program::Text},
        {{"--config-dir=d", "report", "--filter", "month", "--format", "csv"}, Program::Text},
        {{"report", "--version"}, Program::Text},
        {{"--config-dir", "d", "usage", "--by", "month"}, Program::Text},
        {{"usage", "--by", "week"}, Program::Text},  // its own usage errors too
        {{}, Program::Window},
        {{"--config-dir", "d", "--simulate", "x.ini"}, Program::Window},
        {{"-platform", "offscreen"}, Program::Window},
        {{"chart", "--out", "c.png"}, Program::Window},
        {{"--config-dir", "d", "chart", "--out", "c.png"}, Program::Window},
        // A folder named like a subcommand is no subcommand.
        {{"--config-dir", "chart", "mail"}, Program::Tool},
        {{"--config-dir", "summary", "hangup"}, Program::Tool},
        {{"--config-dir", "usage", "monitor"}, Program::Tool},
        {{"--help"}, Program::Tool},
        {{"--command", "connect"}, Program::Tool},
        {{"mail", "--version"}, Program::Tool},
        {{"monitor"}, Program::Tool},
        {{"lookup", "summary"}, Program::Tool},
        // Usage errors are told by the program that knows every subcommand.
        {{"summary", "--format", "csv"}, Program::Tool},
        {{"bogus"}, Program::Tool},
        {{"--bogus", "chart"}, Program::Tool},
    };
    for (const auto& [args, program] : cases) {
        std::string line;
        for (const std::string& a : args) {
            line += a + ' ';
        }
        EXPECT_EQ(programFor(args), program) << line;
    }
}

}  // namespace
}  // namespace tavu
