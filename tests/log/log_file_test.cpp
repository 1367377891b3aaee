#include "log/log_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <vector>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

LogRecord sample() {
    return LogRecord{"05-06-1999", "21:14:07", "05-06-1999", "21:52:40", "user",
                     "Modem",      "Provider", "10240",      "51200"};
}

std::vector<std::string> linesOf(const std::string& path, bool reverse = false) {
    std::vector<std::string> out;
    auto fn = [&](std::string_view l) { out.emplace_back(l); };
    if (reverse) {
        LogReader::forEachLineReverse(path, fn);
    } else {
        LogReader::forEachLine(path, fn);
    }
    return out;
}

TEST(LogRecord, ComposesNineFieldsWithCrLf) {
    EXPECT_EQ(composeRecord(sample()),
              "05-06-1999|21:14:07|05-06-1999|21:52:40|user|Modem|Provider|10240|51200|\r\n");
    LogRecord r = sample();
    r.user = "";
    EXPECT_EQ(composeRecord(r),
              "05-06-1999|21:14:07|05-06-1999|21:52:40||Modem|Provider|10240|51200|\r\n");
}

TEST(LogRecord, SeparatorsAndLineEndsInValuesBecomeBlanks) {
    LogRecord r = sample();
    r.connection = "ISP|A\r\nB";
    r.device = "|";
    const std::string line = composeRecord(r);
    EXPECT_EQ(line, "05-06-1999|21:14:07|05-06-1999|21:52:40|user| |ISP A  B|10240|51200|\r\n");
    const std::string stored = line.substr(0, line.size() - 2);
    const LogFields f = splitRecord(stored);
    EXPECT_EQ(f[LogFields::Connection], "ISP A  B");
    EXPECT_EQ(f[LogFields::BytesReceived], "51200");
}

TEST(LogRecord, SplitKeepsEmptyFieldsInPlace) {
    LogFields f = splitRecord("05-06-1999|21:14:07|05-06-1999|21:52:40||Modem|Provider|10|20|\r");
    EXPECT_EQ(f[LogFields::User], "");
    EXPECT_EQ(f[LogFields::Device], "Modem");
    EXPECT_EQ(f[LogFields::BytesSent], "10");
    EXPECT_EQ(f[LogFields::BytesReceived], "20");
    EXPECT_TRUE(f.isRecord());

    f = splitRecord("05-06-1999|21:14:07");  // a short line: the rest is empty
    EXPECT_EQ(f[LogFields::StartTime], "21:14:07");
    EXPECT_EQ(f[LogFields::EndTime], "");
    EXPECT_TRUE(f.isRecord());

    EXPECT_FALSE(splitRecord("|||||||||").isRecord());
    EXPECT_FALSE(splitRecord(" | ").isRecord());
    EXPECT_TRUE(splitRecord("junk").isRecord());
}

// The split reads blocks of bytes: separators at every place near a block's edge, lines of every
// length, the log's own form and others, more than nine separators, and a CR at the end, split
// as one byte at a time does.
TEST(LogRecord, SplitFindsEachSeparatorWhereverTheBlocksEnd) {
    const auto oneByOne = [](std::string_view line) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::vector<std::string> out;
        std::string field;
        for (const char c : line) {
            if (c == '|' && out.size() < LogFields::Count) {
                out.push_back(field);
                field.clear();
            } else {
                field.push_back(c);
            }
        }
        if (out.size() < LogFields::Count) {
            out.push_back(field);
        }
        out.resize(LogFields::Count);
        return out;
    };
    std::mt19937 rnd(3);
    for (int length = 0; length <= 70; ++length) {
        for (int round = 0; round < 40; ++round) {
            // Half of them in the log's own form: the dates and times at their places.
            std::string line = round % 2 == 0 ? "05-06-1999|21:14:07|05-06-1999|21:52:40|" : "";
            for (int i = 0; i < length; ++i) {
                line.push_back(rnd() % (1 + round % 6) == 0 ? '|'
                                                            : static_cast<char>('a' + i % 26));
            }
            if (round % 3 == 0) {
                line += '\r';
            }
            const LogFields f = splitRecord(line);
            const std::vector<std::string> expected = oneByOne(line);
            for (std::size_t k = 0; k < LogFields::Count; ++k) {
                ASSERT_EQ(f.field[k], expected[k]) << "field " << k << " of \"" << line << "\"";
            }
        }
    }
}

TEST(LogWriter, AppendsWholeRecordsCreatingTheFile) {
    TempDir dir;
    ScriptedPrompter prompter;
    LogWriter writer(prompter);
    const std::string path = dir.file("logfile.log");
    EXPECT_TRUE(writer.append(path, sample()));
    LogRecord second = sample();
    second.startDate = "06-06-1999";
    EXPECT_TRUE(writer.append(path, second));
    EXPECT_EQ(readFile(path), composeRecord(sample()) + composeRecord(second));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST(LogWriter, StartsOnItsOwnLineAfterAnUnterminatedLine) {
    TempDir dir;
    ScriptedPrompter prompter;
    const std::string path = dir.file("logfile.log");
    writeFile(path, "01-01-2000|hand edit");
    LogWriter(prompter).append(path, sample());
    EXPECT_EQ(readFile(path), "01-01-2000|hand edit\r\n" + composeRecord(sample()));
}

TEST(LogWriter, UnwritableLocationTellsTheUser) {
    TempDir dir;
    ScriptedPrompter prompter;
    const std::string path = dir.file("missing/logfile.log");
    EXPECT_FALSE(LogWriter(prompter).append(path, sample()));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Can not write to file" + path +
                                          " You can try to specify other location for logfile.");
    EXPECT_EQ(prompter.shown[0].caption, "Error");
    EXPECT_EQ(prompter.shown[0].buttons, Buttons::Ok);
    EXPECT_EQ(prompter.shown[0].icon, Icon::None);
}

TEST(LogWriter, WritesOnlyARegularFileAndNeverWaitsToOpen) {
    // Another user of a shared log folder puts a link to a file of ours, or a FIFO, at the
    // log's name.
    TempDir dir;
    ScriptedPrompter prompter;
    const std::string path = dir.file("logfile.log");
    writeFile(dir.file("victim"), "mine\n");
    std::filesystem::create_symlink(dir.file("victim"), path);
    EXPECT_FALSE(LogWriter(prompter).append(path, sample()));
    EXPECT_EQ(readFile(dir.file("victim")), "mine\n");
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].text.find("not a regular file"), std::string::npos);

    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
    EXPECT_FALSE(LogWriter(prompter).append(path, sample()));
    EXPECT_NE(prompter.shown.back().text.find("not a regular file"), std::string::npos);
    EXPECT_FALSE(LogReader::forEachLine(path, [](std::string_view) {}));
    EXPECT_FALSE(LogReader::forEachLineReverse(path, [](std::string_view) {}));
}

TEST(LogFilePath, FollowsIniPathOrTheConfigFolder) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    EXPECT_EQ(logFilePath(s, dir.path()), dir.path() + "/logfile.log");
    s.writeString("Settings", "IniPath", "/var/log/tavu/");
    EXPECT_EQ(logFilePath(s, dir.path()), "/var/log/tavu/logfile.log");
    s.writeString("Settings", "IniPath", "/srv/logs");
    EXPECT_EQ(logFilePath(s, dir.path()), "/srv/logs/logfile.log");
}

TEST(LogReader, ReadsCrLfAndLfLinesBothWays) {
    TempDir dir;
    const std::string path = dir.file("logfile.log");
    writeFile(path, "a|1|\r\nb|2|\n\nc|3|");
    EXPECT_EQ(linesOf(path), (std::vector<std::string>{"a|1|", "b|2|", "", "c|3|"}));
    EXPECT_EQ(linesOf(path, true), (std::vector<std::string>{"c|3|", "", "b|2|", "a|1|"}));
    writeFile(path, "x\r\n");
    EXPECT_EQ(linesOf(path), std::vector<std::string>{"x"});
    EXPECT_EQ(linesOf(path, true), std::vector<std::string>{"x"});
    EXPECT_FALSE(LogReader::forEachLine(dir.file("none"), [](std::string_view) {}));
    EXPECT_FALSE(LogReader::forEachLineReverse(dir.file("none"), [](std::string_view) {}));
}

TEST(LogReader, OverlongAndBinaryLinesDoNotSwallowTheirNeighbours) {
    TempDir dir;
    const std::string path = dir.file("logfile.log");
    std::string junk(3 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>((i * 7919) % 251 + 1);
        if (junk[i] == '\n') {
            junk[i] = 'x';
        }
    }
    writeFile(path, "before|\r\n" + junk + "\r\nafter|\r\n");
    for (const bool reverse : {false, true}) {
        const auto lines = linesOf(path, reverse);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[reverse ? 2 : 0], "before|");
        EXPECT_EQ(lines[1], junk.substr(0, LogReader::kMaxLine));
        EXPECT_EQ(lines[reverse ? 0 : 2], "after|");
    }
}

TEST(LogReader, ReverseMatchesForwardAcrossChunks) {
    TempDir dir;
    const std::string path = dir.file("logfile.log");
    std::mt19937 rng(42);
    std::string content;
    while (content.size() < 5 * 1024 * 1024) {
        const std::size_t len = rng() % 3 == 0 ? rng() % 40000 : rng() % 120;
        content.append(len, static_cast<char>('a' + rng() % 26));
        content += rng() % 2 ? "\r\n" : "\n";
    }
    writeFile(path, content);
    auto forward = linesOf(path);
    const auto reverse = linesOf(path, true);
    std::reverse(forward.begin(), forward.end());
    EXPECT_EQ(forward, reverse);
}

}  // namespace
}  // namespace tavu
