#include "log/connection_journal.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::readFile;
using test::writeFile;

JournalEntry sampleEntry() {
    JournalEntry e;
    e.start = 1796670000;
    e.end = 1796670125;
    e.handle = 7;
    e.mark = "pppd 4242 991";
    e.record = {"07-12-2026", "20:00:00", "07-12-2026", "20:02:05", "joe",
                "/dev/ttyS0", "Provider", "6600",       "66000"};
    return e;
}

TEST(JournalText, ReadsBackOnlyWhatWasWrittenWhole) {
    JournalEntry e = sampleEntry();
    e.mark = "odd\nmark";  // a line end inside a value cannot split the text
    e.record.user = "a|b";
    const std::string text = composeJournal(e);

    JournalEntry back;
    ASSERT_TRUE(parseJournal(text, back));
    EXPECT_EQ(back.start, e.start);
    EXPECT_EQ(back.end, e.end);
    EXPECT_EQ(back.handle, 7u);
    EXPECT_EQ(back.mark, "odd mark");
    EXPECT_EQ(composeRecord(back.record),
              "07-12-2026|20:00:00|07-12-2026|20:02:05|a b|/dev/ttyS0|Provider|6600|66000|\r\n");

    // Whatever a crash leaves of it, cut anywhere, is never taken for a journal.
    for (std::size_t n = 0; n < text.size(); ++n) {
        EXPECT_FALSE(parseJournal(text.substr(0, n), back)) << "cut at " << n;
    }
    // Nor one with something changed or added.
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"end 1796670125", "end 1796669999"},  // ends before it starts
             {"start 1796670000", "start 17966x0000"},
             {"handle 7", "handle -7"},
             {"Provider|", "Provider"},
             {"end of journal\n", "end of journal\nmore\n"}}) {
        std::string altered = text;
        altered.replace(altered.find(from), from.size(), to);
        EXPECT_FALSE(parseJournal(altered, back)) << to;
    }
}

TEST(JournalFile, FollowsTheLogAndSetsADamagedOneAside) {
    test::TempDir dir;
    const std::string path = ConnectionJournal::pathFor(dir.file("logfile.log"));
    JournalEntry e = sampleEntry();
    JournalEntry back;
    EXPECT_EQ(ConnectionJournal::read(path, back), ConnectionJournal::Found::None);
    ConnectionJournal journal;
    ASSERT_TRUE(journal.begin(path, e));
    EXPECT_TRUE(journal.due(e.end - 1));  // the clock was set back

    // The log moved: so does the journal.
    const std::string moved = ConnectionJournal::pathFor(dir.file("elsewhere.log"));
    e.end += 10;
    ASSERT_TRUE(journal.update(moved, e));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(ConnectionJournal::read(moved, back), ConnectionJournal::Found::Whole);
    EXPECT_EQ(back.end, e.end);
    EXPECT_FALSE(std::filesystem::exists(moved + ".tmp"));

    // Too large to be ours, or a folder in its place: damaged.
    writeFile(path, std::string(ConnectionJournal::kMaxSize + 1, 'x'));
    EXPECT_EQ(ConnectionJournal::read(path, back), ConnectionJournal::Found::Damaged);
    ASSERT_TRUE(ConnectionJournal::setAside(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(readFile(path + ".bad").size(), ConnectionJournal::kMaxSize + 1);
    std::filesystem::create_directory(path);
    EXPECT_EQ(ConnectionJournal::read(path, back), ConnectionJournal::Found::Damaged);
}

TEST(JournalFile, AFifoOrLinkPlantedAtItsNamesNeitherBlocksNorIsFollowed) {
    test::TempDir dir;
    const std::string path = ConnectionJournal::pathFor(dir.file("logfile.log"));
    ASSERT_EQ(::mkfifo((path + ".tmp").c_str(), 0666), 0);
    ConnectionJournal journal;
    ASSERT_TRUE(journal.begin(path, sampleEntry()));
    JournalEntry back;
    EXPECT_EQ(ConnectionJournal::read(path, back), ConnectionJournal::Found::Whole);
    EXPECT_TRUE(journal.problem().empty());

    // A link in the journal's place is not read through.
    writeFile(dir.file("other"), composeJournal(sampleEntry()));
    std::filesystem::remove(path);
    std::filesystem::create_symlink(dir.file("other"), path);
    EXPECT_EQ(ConnectionJournal::read(path, back), ConnectionJournal::Found::Damaged);

    // A folder that cannot be written: the write fails and says why.
    ConnectionJournal elsewhere;
    EXPECT_FALSE(elsewhere.begin(dir.file("missing/logfile.log.open"), sampleEntry()));
    EXPECT_NE(elsewhere.problem().find("missing/logfile.log.open.tmp"), std::string::npos);
}

}  // namespace
}  // namespace tavu
