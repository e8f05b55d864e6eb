#include "store/bound_sql.h"

#include <gtest/gtest.h>

#include <iterator>

#include "store/database.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

class BoundSqlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.OpenDatabase(file.path(), false)); }
    std::string Count() { return test::QueryRows(db, "select count(*) from rule").at(0).at(0); }

    test::TestDatabaseFile file;
    Database db;
};

// Every value reaches its column byte for byte and stays a value: nothing in it
// ends the literal or the statement, and "%" and "_" match only themselves.
TEST_F(BoundSqlTest, HostileTextsAreStoredAndFoundByteForByte) {
    using namespace std::string_literals;
    const std::string texts[] = {
        "it's", "a'); delete from rule; --", "a\0b"s, "\0"s, "100%", "a_b", "\xB0\xA1'\xA3", "?",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(Hex(text));
        ASSERT_TRUE(ExecBound(db, {"insert into rule(name,isdo) values(?,?)", {text, int64_t{7}}}));
        const TextTable found =
            test::QueryRows(db, {"select hex(name),isdo from rule where name=?", {text}});
        EXPECT_EQ(found, (TextTable{{Hex(text), "7"}}));
    }
    EXPECT_EQ(Count(), std::to_string(std::size(texts)));
}

TEST_F(BoundSqlTest, OnlyOneStatementWithAsManyValuesAsParametersRuns) {
    const struct {
        BoundSql sql;
        bool runs;
    } cases[] = {
        {{"insert into rule(name) values(?)", {"x"}}, true},
        {{"insert into rule(name) values(?);  \n", {"x"}}, true},
        {{"insert into rule(name) values(?); delete from rule", {"x"}}, false},
        {{"insert into rule(name) values(?)", {}}, false},
        {{"insert into rule(name) values(?)", {"x", "y"}}, false},
        {{"insert into rule(name) values('x')", {int64_t{1}}}, false},
        {{"", {}}, false},
    };
    int stored = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql.sql);
        EXPECT_EQ(ExecBound(db, c.sql), c.runs);
        EXPECT_EQ(db.LastErrorCode() == 0, c.runs);
        stored += c.runs ? 1 : 0;
        EXPECT_EQ(Count(), std::to_string(stored));
    }
}

TEST(BoundSql, ShownPutsEachValueInItsPlace) {
    const BoundSql sql("update rule set name=? where id=? and url=?", {"a'b", int64_t{-5}});
    EXPECT_EQ(sql.Shown(), "update rule set name='a''b' where id=-5 and url=?");
    EXPECT_EQ(BoundSql("select 1").Shown(), "select 1");
}

}  // namespace
}  // namespace vela
