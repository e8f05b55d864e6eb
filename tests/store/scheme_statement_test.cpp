#include "store/scheme_statement.h"

#include <gtest/gtest.h>

#include "store/database.h"
#include "store/scheme_fields.h"
#include "store/scheme_save.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

TEST(SchemeSaveStatement, InsertOrUpdateFollowsTheIdBoxAlone) {
    SchemeForm form;
    form.id = "0";
    EXPECT_EQ(SchemeSaveStatement(form),
              "insert into rule(isdo,code,url,before,after,regular,buquan,cookie,tindex,uindex,"
              "oindex,ua,name,type) values('1','','','','','','','','','','','','','')");
    form.id = "12";
    form.name = "a'b";
    EXPECT_EQ(SchemeSaveStatement(form),
              "update rule set code='',url='',before='',after='',regular='',buquan='',cookie='',"
              "tindex='',uindex='',oindex='',ua='',name='a''b',type='' where id=12");
}

// Another program removed the scheme while it was being edited: the update finds
// no row. That is a failure, and the group it belongs to is not kept either.
TEST(SchemeSaves, AnUpdateOfARemovedSchemeFailsAndKeepsNothing) {
    test::TestDatabaseFile file;
    Database db, other;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    ASSERT_TRUE(other.OpenDatabase(file.path(), false));
    ASSERT_TRUE(db.ExecSql("insert into rule(id,name,isdo) values(1,'one','1'),(2,'two','1')"));
    ASSERT_TRUE(other.ExecSql("delete from rule where id=1"));
    const char* rows = "select id,name,isdo from rule order by id";
    const TextTable before = test::QueryRows(db, rows);

    SchemeSave fresh, gone;
    fresh.form.id = "0";
    fresh.form.name = "new";
    gone.form.id = "1";
    gone.rowId = 1;
    gone.form.name = "renamed";
    const SchemeSavesOutcome saves = ExecuteSchemeSaves(db, {fresh, gone});
    EXPECT_FALSE(saves.outcome.ok);
    EXPECT_EQ(saves.missingId, 1);
    EXPECT_TRUE(saves.ids.empty());
    EXPECT_EQ(test::QueryRows(db, rows), before);

    EXPECT_FALSE(ExecuteFormSave(db, gone.form).ok);
    EXPECT_EQ(test::QueryRows(db, rows), before);
    // The row that is there is saved, its tick left alone; an insert ticks its row.
    ASSERT_TRUE(db.ExecSql("update rule set isdo='0' where id=2"));
    gone.form.id = "2";
    EXPECT_TRUE(ExecuteFormSave(db, gone.form).ok);
    EXPECT_TRUE(ExecuteFormSave(db, fresh.form).ok);
    EXPECT_EQ(test::QueryRows(db, rows), (TextTable{{"2", "renamed", "0"}, {"3", "new", "1"}}));
}

// A scheme's fields are written with its row, in the same transaction: under the
// new row's id on an insert, not at all when the group fails. A tick keeps them,
// and a file still without their table gets it with the save.
TEST(SchemeSaves, FieldsAreWrittenWithTheirRow) {
    test::TestDatabaseFile file(test::TestDatabaseFile::kWithoutSchemeFields);
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    auto fieldsOf = [&db](int64_t id) {
        SchemeFields fields;
        EXPECT_TRUE(ReadSchemeFields(db, id, fields));
        return fields;
    };
    SchemeForm form;
    form.id = "0";
    form.fields = {"camera\n/used.*lens/", "", true};
    ASSERT_TRUE(ExecuteFormSave(db, form).ok);
    EXPECT_EQ(fieldsOf(1), form.fields);
    form.id = "1";
    form.fields = {"", "sold", false};
    ASSERT_TRUE(ExecuteFormSave(db, form).ok);
    EXPECT_EQ(fieldsOf(1), form.fields);

    SchemeSave fresh, gone;
    fresh.form.fields.include = "new";
    gone.rowId = 7;
    gone.form.fields.include = "gone";
    EXPECT_FALSE(ExecuteSchemeSaves(db, {fresh, gone}).outcome.ok);
    EXPECT_EQ(test::QueryRows(db, "select id from rule_field"), (TextTable{{"1"}}));
    const SchemeSavesOutcome saved = ExecuteSchemeSaves(db, {fresh});
    ASSERT_TRUE(saved.outcome.ok);
    ASSERT_EQ(saved.ids, (std::vector<int64_t>{2}));
    EXPECT_EQ(fieldsOf(2), fresh.form.fields);

    ASSERT_TRUE(ExecuteInTransaction(db, {SchemeTickStatement(2, false)}).ok);
    EXPECT_EQ(fieldsOf(2), fresh.form.fields);
}

// The ids of the tick and remove statements are bound numbers: the largest row
// key reaches its row, and a group with a failing statement keeps nothing.
TEST(SchemeSaves, TickAndRemoveReachTheirRowByItsNumber) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    ASSERT_TRUE(
        db.ExecSql("insert into rule(id,name,isdo) values(1,'one','0'),"
                   "(9223372036854775807,'last','1')"));
    const char* rows = "select id,isdo from rule order by id";
    constexpr int64_t kLast = 9223372036854775807;

    EXPECT_TRUE(
        ExecuteInTransaction(db, {SchemeTickStatement(1, true), SchemeTickStatement(kLast, false)})
            .ok);
    EXPECT_EQ(test::QueryRows(db, rows), (TextTable{{"1", "1"}, {"9223372036854775807", "0"}}));
    EXPECT_EQ(SchemeTickStatement(kLast, false).Shown(),
              "update rule set isdo=0 where id=9223372036854775807");

    EXPECT_FALSE(ExecuteInTransaction(db, {RemoveSchemeStatement(1), "update nothing set x=1"}).ok);
    EXPECT_EQ(test::QueryRows(db, rows).size(), 2u);
    EXPECT_TRUE(ExecuteInTransaction(db, {RemoveSchemeStatement(kLast)}).ok);
    EXPECT_EQ(test::QueryRows(db, rows), (TextTable{{"1", "1"}}));
}

}  // namespace
}  // namespace vela
