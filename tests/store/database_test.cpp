#include "store/database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include "store/query_cursor.h"
#include "store/sql_clean.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using test::QueryRows;

TEST(Database, ExecutesAndReportsResultCodes) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    EXPECT_TRUE(db.ExecSql("insert into info(title) values('a')"));
    EXPECT_EQ(db.LastErrorCode(), 0);
    EXPECT_FALSE(db.ExecSql("insert into nowhere values(1)"));
    EXPECT_EQ(db.LastErrorCode(), 1);
    // An empty text never reaches SQLite and leaves the last code as it was.
    EXPECT_FALSE(db.ExecSql(""));
    EXPECT_EQ(db.LastErrorCode(), 1);
    EXPECT_TRUE(db.ExecSql("update info set issoucang=1 where id=999"));
    EXPECT_FALSE(db.ExecSql(""));
    EXPECT_EQ(db.LastErrorCode(), 0);
}

TEST(Database, SeveralStatementsStopAtTheFirstFailure) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    EXPECT_FALSE(
        db.ExecSql("insert into info(title) values('one');insert into info(nope) values(1);"
                   "insert into info(title) values('three')"));
    EXPECT_EQ(QueryRows(db, "select title from info"), (TextTable{{"one"}}));
}

TEST(Database, ClosedConnectionFailsWithCodeZero) {
    test::TestDatabaseFile file;
    Database db;
    EXPECT_FALSE(db.ExecSql("select 1"));
    EXPECT_EQ(db.LastErrorCode(), 0);
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    EXPECT_FALSE(db.ExecSql("bad"));
    db.CloseDatabase();
    db.CloseDatabase();
    EXPECT_EQ(db.LastErrorCode(), 0);
    EXPECT_TRUE(QueryRows(db, "select * from info").empty());
}

TEST(Database, OpenRefusesWhatIsNotADatabase) {
    test::TestDatabaseFile file;
    Database db;
    EXPECT_FALSE(db.OpenDatabase("", false));
    EXPECT_FALSE(db.OpenDatabase(file.dir() + "/missing.sdb", false));
    EXPECT_FALSE(
        db.OpenDatabase(test::WriteFile(file.dir(), "text.sdb", std::string(4096, 'x')), false));
    EXPECT_FALSE(db.IsOpen());
    // An empty file is a valid empty database: it opens, and a missing table fails with 1.
    ASSERT_TRUE(db.OpenDatabase(test::WriteFile(file.dir(), "empty.sdb", ""), false));
    EXPECT_FALSE(db.ExecSql("select * from rule"));
    EXPECT_EQ(db.LastErrorCode(), 1);
}

// Why an open failed, for the message the user gets.
TEST(Database, OpenSaysWhyItFailed) {
    test::TestDatabaseFile file;
    std::string damaged = test::WriteFile(file.dir(), "copy.sdb", "");
    {
        std::ifstream in(file.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        bytes.replace(0, 16, "not SQLite 3 ...");
        test::WriteFile(file.dir(), "copy.sdb", bytes);
    }
    struct Case {
        std::string path;
        int code;
    };
    const Case cases[] = {
        {file.dir() + "/missing.sdb", SQLITE_CANTOPEN},
        {test::WriteFile(file.dir(), "text.sdb", std::string(4096, 'x')), SQLITE_NOTADB},
        {damaged, SQLITE_NOTADB},
        {file.path(), SQLITE_OK},
    };
    Database db;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(db.OpenDatabase(c.path, false), c.code == SQLITE_OK);
        EXPECT_EQ(db.OpenErrorCode(), c.code);
    }
    EXPECT_FALSE(db.OpenDatabase(file.dir() + "/missing.sdb", false));
    EXPECT_EQ(db.OpenErrno(), ENOENT);
}

// A file that can be opened but not written is found before anything is tried.
TEST(Database, WriteProblemNamesWhatCannotBeWritten) {
    test::TestDatabaseFile file;
    Database db;
    EXPECT_EQ(db.WriteProblem(), "it is not open");
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    EXPECT_EQ(db.WriteProblem(), "");
    db.CloseDatabase();
    // A format whose write version SQLite does not know: it only reads it.
    {
        std::fstream bytes(file.path(), std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(18);
        bytes.put(3);
    }
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    EXPECT_NE(db.WriteProblem().find("read-only"), std::string::npos) << db.WriteProblem();
    EXPECT_FALSE(db.ExecSql("insert into info(title) values('a')"));
    if (geteuid() == 0) return;  // root writes whatever the modes say
    db.CloseDatabase();
    test::TestDatabaseFile other;
    chmod(other.dir().c_str(), 0555);
    ASSERT_TRUE(db.OpenDatabase(other.path(), false));
    EXPECT_NE(db.WriteProblem().find("its folder " + other.dir() + " is not writable"),
              std::string::npos)
        << db.WriteProblem();
    db.CloseDatabase();
    chmod(other.dir().c_str(), 0700);
}

// Another program's write lock is waited for, and the wait ends as soon as the
// owner's stop says so.
TEST(Database, BusyWaitEndsWithTheLockOrTheStop) {
    test::TestDatabaseFile file;
    Database holder;
    Database waiter;
    ASSERT_TRUE(holder.OpenDatabase(file.path(), false));
    ASSERT_TRUE(waiter.OpenDatabase(file.path(), false));
    std::atomic<bool> stop{false};
    waiter.SetStopPredicate([&stop] { return stop.load(); });
    using Clock = std::chrono::steady_clock;

    // Let go after a while: the statement waited and then ran.
    ASSERT_TRUE(holder.ExecSql("begin immediate"));
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.ExecSql("rollback");
    });
    auto began = Clock::now();
    EXPECT_TRUE(waiter.ExecSql("insert into info(title) values('waited')"));
    EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(250));
    release.join();

    // A stop while the lock is held: the statement gives up within 100 ms.
    ASSERT_TRUE(holder.ExecSql("begin immediate"));
    Clock::time_point stopped;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stopped = Clock::now();
        stop = true;
    });
    EXPECT_FALSE(waiter.ExecSql("insert into info(title) values('stopped')"));
    const auto ended = Clock::now();
    stopper.join();
    EXPECT_EQ(waiter.LastErrorCode(), SQLITE_BUSY);
    EXPECT_LT(ended - stopped, std::chrono::milliseconds(100));
    ASSERT_TRUE(holder.ExecSql("rollback"));
    EXPECT_EQ(QueryRows(holder, "select title from info"), (TextTable{{"waited"}}));
}

TEST(Database, ReadOnlyFileOpensAndRefusesWrites) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    test::TestDatabaseFile file;
    chmod(file.path().c_str(), 0444);
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    EXPECT_FALSE(db.ExecSql("insert into info(title) values('a')"));
    EXPECT_EQ(db.LastErrorCode(), 8);
}

TEST(Database, ValuesAreReadBackAsTheirBytes) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    const std::string gbk = "\xD6\xD0'\xCE\xC4 ;()\r\n\xFF";
    ASSERT_TRUE(
        db.ExecSql("insert into rule(isdo,name,lastid) values(1,'" + SqlQuote(gbk) + "','007')"));
    ASSERT_TRUE(db.ExecSql("insert into rule(isdo,name) values('1',NULL)"));
    TextTable rows = QueryRows(db, "select isdo,name,lastid from rule order by id");
    EXPECT_EQ(rows, (TextTable{{"1", gbk, "007"}, {"1", "", ""}}));
}

TEST(QueryCursor, CountsReadsAndNamesColumns) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(db.ExecSql("insert into info(title) values('t')"));
    QueryCursor cursor;
    ASSERT_TRUE(cursor.PrepareQuery("select * from info order by id desc", db));
    ASSERT_TRUE(cursor.CountRows());
    EXPECT_EQ(cursor.RowCount(), 3);
    EXPECT_EQ(cursor.ColumnCount(), 8);
    EXPECT_EQ(cursor.ColumnNames().front(), "id");
    EXPECT_EQ(cursor.ColumnNames().back(), "issoucang");
    TextTable rows = cursor.AllRowsAsText(false);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "3");
    EXPECT_EQ(cursor.AllRowsAsText(true).front().front(), "id");
    // A failing statement yields nothing; the old one is gone.
    EXPECT_FALSE(cursor.PrepareQuery("select * from missing", db));
    EXPECT_EQ(cursor.ColumnCount(), 0);
    EXPECT_TRUE(cursor.AllRowsAsText(false).empty());
    // A statement that outlives its connection is never stepped again.
    ASSERT_TRUE(cursor.PrepareQuery("select * from info", db));
    db.CloseDatabase();
    EXPECT_FALSE(cursor.CountRows());
    EXPECT_TRUE(cursor.AllRowsAsText(false).empty());
}

}  // namespace
}  // namespace vela
