// The hand-over of stored articles to the outbox: where a channel starts, SQLite's
// ids given anew after the newest rows were deleted, and a kill between the
// outbox entries and the marks.

#include "notify/stored_delivery.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "store/database.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

const std::string kChannel = "json://127.0.0.1:1/hook";

// Local time as the programs store it: "2026-12-11 9:5 7".
std::string TimeText(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%d-%d-%d %d:%d %d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

class StoredDeliveryTest : public ::testing::Test {
protected:
    StoredDeliveryTest() : outbox(Outbox::FolderBeside(file.path())) {
        db.OpenDatabase(file.path(), false);
        context = DefaultDeliveryContext();
        context.holdWaitMs = 0;
    }

    void Store(const std::string& title, std::time_t when = std::time(nullptr)) {
        ASSERT_TRUE(db.ExecSql(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values('b','1','" +
            title + "','http://x.localhost/" + title + "','','" + TimeText(when) + "','0')"));
    }

    // The titles of every message waiting, oldest message first, each newest
    // article first; the messages are removed.
    std::vector<std::string> Take() {
        std::vector<std::string> titles;
        std::vector<std::string> broken;
        for (const OutboxEntry& entry : outbox.Pending(broken)) {
            for (const NotifyArticle& article : entry.message.articles) {
                titles.push_back(article.title);
            }
            outbox.Remove(entry.name);
        }
        return titles;
    }

    NotifyReport HandOver(int64_t floor = -1) {
        return HandOverStored({kChannel}, file.path(), floor, context);
    }

    test::TestDatabaseFile file;
    Database db;
    Outbox outbox;
    DeliveryContext context;
};

TEST_F(StoredDeliveryTest, AChannelStartsAtItsFloorAndNoChannelMakesNothing) {
    Store("old1");
    Store("old2");
    // No channel: no folder, no marks, nothing waiting.
    EXPECT_TRUE(HandOverStored({}, file.path(), -1, context).errors.empty());
    EXPECT_FALSE(std::filesystem::exists(outbox.folder()));
    // A channel seen for the first time: the history is not sent, what follows is.
    EXPECT_FALSE(EveryChannelMarked({kChannel}, file.path()));
    EXPECT_TRUE(HandOver().errors.empty());
    EXPECT_TRUE(EveryChannelMarked({kChannel}, file.path()));
    EXPECT_TRUE(Take().empty());
    Store("new1");
    Store("new2");
    HandOver();
    EXPECT_EQ(Take(), (std::vector<std::string>{"new2", "new1"}));
    HandOver();
    EXPECT_TRUE(Take().empty());

    // A floor from the start of a cycle: the cycle's own articles reach a channel
    // that first appears at its end.
    const std::string other = "json://127.0.0.1:1/other";
    int64_t floor = 0;
    ASSERT_TRUE(HighestArticleId(db, floor));
    Store("during");
    HandOverStored({kChannel, other}, file.path(), floor, context);
    EXPECT_EQ(Take(), (std::vector<std::string>{"during", "during"}));
}

// info ids have no AUTOINCREMENT: once the newest rows are deleted SQLite gives
// their ids again. Those new rows are handed over all the same, the old ones not
// again.
TEST_F(StoredDeliveryTest, IdsGivenAgainAfterTheNewestRowsWereDeletedStillReachTheChannel) {
    const std::time_t hourAgo = std::time(nullptr) - 3600;
    Store("a", hourAgo);
    HandOver();
    Store("b", hourAgo);
    Store("c", hourAgo);
    HandOver();
    EXPECT_EQ(Take(), (std::vector<std::string>{"c", "b"}));
    ASSERT_TRUE(db.ExecSql("delete from info where title in ('b','c')"));
    Store("d");  // the id "b" had
    HandOver();
    EXPECT_EQ(Take(), (std::vector<std::string>{"d"}));
    // Everything deleted: ids start again at 1.
    ASSERT_TRUE(db.ExecSql("delete from info"));
    Store("e");
    Store("f");
    HandOver();
    EXPECT_EQ(Take(), (std::vector<std::string>{"f", "e"}));
    Store("g");
    HandOver();
    EXPECT_EQ(Take(), (std::vector<std::string>{"g"}));
}

// A kill after the outbox entries were written and before the marks were: the
// entries carry their marks, so the next hand-over (or a flush that delivers and
// removes them first) hands nothing over a second time.
TEST_F(StoredDeliveryTest, AKillBetweenTheEntriesAndTheMarksHandsNothingOverTwice) {
    HandOver();
    const std::string marks = outbox.folder() + "/marks";
    const std::string before = marks + ".before";
    std::filesystem::copy_file(marks, before);
    Store("one");
    HandOver();
    std::filesystem::copy_file(before, marks, std::filesystem::copy_options::overwrite_existing);
    HandOver();
    EXPECT_EQ(Take(), (std::vector<std::string>{"one"}));

    Store("two");
    HandOver();
    std::filesystem::copy_file(before, marks, std::filesystem::copy_options::overwrite_existing);
    // The flush gives the message up (it is older than `keep`) and removes it:
    // the marks take its mark first.
    context.keep = std::chrono::milliseconds(-1);
    FlushOutbox(outbox, context);
    EXPECT_TRUE(Take().empty());
    context.keep = std::chrono::hours(24);
    HandOver();
    EXPECT_TRUE(Take().empty());
}

TEST(StoredTime, TheProgramsTimeTextsAndNothingElse) {
    int64_t seconds = 0;
    EXPECT_TRUE(StoredTimeSeconds("2026-12-11 9:5 7", seconds));
    int64_t padded = 0;
    EXPECT_TRUE(StoredTimeSeconds("2026-12-11 09:05:07", padded));
    EXPECT_EQ(seconds, padded);
    for (const char* bad : {"", "2026-12-11", "2026-13-11 9:5 7", "yesterday", "99999-1-1 1:1 1"}) {
        EXPECT_FALSE(StoredTimeSeconds(bad, seconds)) << bad;
    }
}

}  // namespace
}  // namespace vela
