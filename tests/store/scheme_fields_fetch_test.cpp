#include <gtest/gtest.h>

#include "store/bound_sql.h"
#include "store/database.h"
#include "store/scheme_fields.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

class SchemeFetchFieldTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.OpenDatabase(file.path(), false)); }

    test::TestDatabaseFile file;
    Database db;
};

// A file whose table was made before the fetch field existed: its rows read as
// "http" before the column is added and after, and the table gets the column.
TEST_F(SchemeFetchFieldTest, TableOfTheKeywordVersionGetsTheColumnAndKeepsItsRows) {
    ASSERT_TRUE(
        db.ExecSql("drop table rule_field;"
                   "create table rule_field (id INTEGER PRIMARY KEY, include TEXT, exclude TEXT, "
                   "clean_titles TEXT);"
                   "insert into rule_field values (7, 'a', 'b', '1');"));
    SchemeFields fields;
    fields.fetch = FetchMode::kBrowser;
    ASSERT_TRUE(ReadSchemeFields(db, 7, fields));
    EXPECT_EQ(fields.fetch, FetchMode::kHttp);
    EXPECT_EQ(fields.include, "a");
    std::unordered_map<int64_t, SchemeFields> all;
    ASSERT_TRUE(ReadAllSchemeFields(db, all));
    EXPECT_EQ(all.at(7).fetch, FetchMode::kHttp);

    ASSERT_TRUE(EnsureSchemeFieldTable(db));
    ASSERT_TRUE(EnsureSchemeFieldTable(db));  // a second time changes nothing
    ASSERT_TRUE(ReadSchemeFields(db, 7, fields));
    EXPECT_EQ(fields.fetch, FetchMode::kHttp);
    EXPECT_TRUE(fields.cleanTitles);
}

TEST_F(SchemeFetchFieldTest, SaveAndCopyCarryTheFetchMode) {
    ASSERT_TRUE(EnsureSchemeFieldTable(db));
    SchemeFields fields;
    fields.fetch = FetchMode::kBrowser;
    fields.exclude = "x";
    ASSERT_TRUE(ExecBound(db, SchemeFieldsSaveStatement(3, fields)));
    ASSERT_TRUE(ExecBound(db, CopySchemeFieldsStatement(3, 4)));
    SchemeFields read;
    ASSERT_TRUE(ReadSchemeFields(db, 4, read));
    EXPECT_EQ(read, fields);
    fields.fetch = FetchMode::kHttp;
    ASSERT_TRUE(ExecBound(db, SchemeFieldsSaveStatement(3, fields)));
    ASSERT_TRUE(ReadSchemeFields(db, 3, read));
    EXPECT_EQ(read.fetch, FetchMode::kHttp);
    // A value no version writes reads as the default.
    ASSERT_TRUE(db.ExecSql("update rule_field set fetch='chrome' where id=4"));
    ASSERT_TRUE(ReadSchemeFields(db, 4, read));
    EXPECT_EQ(read.fetch, FetchMode::kHttp);
}

TEST(FetchModeName, NamesRoundTripAndOthersAreRefused) {
    for (FetchMode mode : {FetchMode::kHttp, FetchMode::kBrowser}) {
        FetchMode read = mode == FetchMode::kHttp ? FetchMode::kBrowser : FetchMode::kHttp;
        EXPECT_TRUE(ParseFetchMode(FetchModeName(mode), read));
        EXPECT_EQ(read, mode);
    }
    FetchMode mode = FetchMode::kBrowser;
    for (const char* name : {"", "Browser", "https", "browser "}) {
        EXPECT_FALSE(ParseFetchMode(name, mode)) << name;
        EXPECT_EQ(mode, FetchMode::kBrowser);
    }
}

}  // namespace
}  // namespace vela
