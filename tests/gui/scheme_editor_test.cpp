#include "gui/scheme_editor.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include "gui/gbk_text.h"
#include "gui/keyword_boxes.h"
#include "gui/list_cells.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/scheme_form.h"
#include "gui/window_layout.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "store/row_id.h"
#include "store/scheme_fields.h"
#include "store/sql_clean.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

class SchemeEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        BindSchemeEditor(editor);
    }
    // Inserts a rule row with the given cells (column -> value) and selects it.
    void AddAndSelect(std::initializer_list<std::pair<const char*, std::string>> values) {
        std::string names, cells;
        for (auto& [name, value] : values) {
            names += std::string(names.empty() ? "" : ",") + name;
            cells += std::string(cells.empty() ? "" : ",") + "'" + SqlQuote(value) + "'";
        }
        ASSERT_TRUE(db.ExecSql("insert into rule(" + names + ") values(" + cells + ")"));
        FillSchemeList(window, cursor, db);
        auto* list = window.Control<QTableWidget>("项目列表框");
        list->selectRow(list->rowCount() - 1);
    }
    QString Text(const char* name) { return window.Control<QLineEdit>(name)->text(); }
    std::string Box(const char* name) {
        return ToGbk(window.Control<QPlainTextEdit>(name)->toPlainText());
    }
    bool CleanTitles() { return window.Control<QCheckBox>(kCleanTitlesBox)->isChecked(); }
    int64_t RowId(int row) {
        int64_t id = 0;
        EXPECT_TRUE(ParseRowId(CellText(window.Control<QTableWidget>("项目列表框"), row, 0), id));
        return id;
    }
    SchemeFields StoredFields(int64_t id) {
        SchemeFields fields;
        EXPECT_TRUE(ReadSchemeFields(db, id, fields));
        return fields;
    }
    bool Radio(const char* name) { return window.Control<QRadioButton>(name)->isChecked(); }
    QPushButton* Save() { return window.Control<QPushButton>("按钮_保存配置"); }
    TextTable Rows(const std::string& sql) { return test::QueryRows(db, sql); }

    test::TestDatabaseFile file;
    Database db;
    QueryCursor cursor;
    MainWindow window;
    EditorContext editor{window, db, cursor};
    test::MessageRecorder messages;
};

TEST_F(SchemeEditorTest, NewAfterEditingAUtf8SchemeEmptiesTheForm) {
    AddAndSelect({{"code", "0"}, {"name", "n"}, {"url", "u"}, {"type", "8"}, {"ua", "X"}});
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    EXPECT_FALSE(window.Control<QCheckBox>("gbk")->isChecked());
    EXPECT_EQ(Save()->text(), "更新规则");
    OpenSchemeEditor(EditorOpenMode::New, editor);
    EXPECT_TRUE(window.Control<QCheckBox>("gbk")->isChecked());
    for (const char* f : {"编辑框_站名", "编辑框_网址", "采集前", "采集后", "补全框", "tindex框",
                          "uindex框", "oindex框"})
        EXPECT_EQ(Text(f), "") << f;
    EXPECT_EQ(window.Control<QComboBox>("正则框")->currentText(), "");
    EXPECT_EQ(Text("ua框"), kDefaultUserAgent);
    EXPECT_EQ(Text("项目编号框"), "0");
    EXPECT_EQ(Save()->text(), "新建规则");
    EXPECT_TRUE(Radio("单选框1"));
    EXPECT_FALSE(window.Control("uindex框")->isEnabled());
}

TEST_F(SchemeEditorTest, CopyKeepsEveryFieldButTheAgentAndInsertsANewRow) {
    AddAndSelect({{"isdo", "0"},
                  {"code", "1"},
                  {"name", "n"},
                  {"url", "u"},
                  {"cookie", "a=1\r\nb=2"},
                  {"ua", "Other"},
                  {"buquan", "[1]"},
                  {"regular", "(.)"},
                  {"before", "<b>"},
                  {"after", "</b>"},
                  {"tindex", "1"},
                  {"uindex", "2"},
                  {"oindex", "3"},
                  {"type", "2"}});
    OpenSchemeEditor(EditorOpenMode::Copy, editor);
    EXPECT_EQ(Text("ua框"), kDefaultUserAgent);
    EXPECT_EQ(Text("项目编号框"), "0");
    EXPECT_TRUE(Radio("单选框2"));
    Save()->setEnabled(true);
    Save()->click();
    EXPECT_EQ(Rows("select isdo,code,name,url,cookie,ua,buquan,regular,before,after,tindex,uindex,"
                   "oindex,type from rule order by id"),
              (TextTable{{"0", "1", "n", "u", "a=1\r\nb=2", "Other", "[1]", "(.)", "<b>", "</b>",
                          "1", "2", "3", "2"},
                         {"1", "1", "n", "u", "a=1\r\nb=2", kDefaultUserAgent, "[1]", "(.)", "<b>",
                          "</b>", "1", "2", "3", "2"}}));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].caption, Gbk("方案新建成功！"));
    EXPECT_EQ(window.Control<QTableWidget>("项目列表框")->rowCount(), 2) << "the list is reloaded";
}

TEST_F(SchemeEditorTest, JudgeModeRadiosAndAStoredFiveRoundTrip) {
    AddAndSelect({{"type", "8"}, {"uindex", "4"}});
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    EXPECT_TRUE(Radio("单选框3"));
    EXPECT_TRUE(window.Control("uindex框")->isEnabled());
    window.show();
    QTest::mouseClick(window.Control("单选框2"), Qt::LeftButton);
    EXPECT_EQ(editor.EditorJudgeMode, 2);
    EXPECT_FALSE(window.Control("uindex框")->isEnabled());
    EXPECT_EQ(Text("uindex框"), "4");

    AddAndSelect({{"type", "5"}, {"name", "five"}});
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    EXPECT_TRUE(Radio("单选框1"));
    EXPECT_FALSE(Radio("单选框3"));
    std::string id = CellText(window.Control<QTableWidget>("项目列表框"), 1, 0);
    ASSERT_TRUE(db.ExecSql("update rule set type='7' where id=" + id));  // only a save restores 5
    Save()->setEnabled(true);
    Save()->click();
    EXPECT_EQ(messages.boxes.at(0).caption, Gbk("方案新建成功！"));
    EXPECT_EQ(Rows("select type from rule where id=" + id), (TextTable{{"5"}}));
    EXPECT_EQ(editor.EditorJudgeMode, 0) << "the form is reset after saving";
}

TEST_F(SchemeEditorTest, HostileTextsAreStoredAndReadBackExactly) {
    const std::string pattern = "<a href='(.*?)'>;(\\d+)\\\\</a>);drop table rule;--";
    const std::string cookie(100 * 1024, 'c');
    OpenSchemeEditor(EditorOpenMode::New, editor);
    window.Control<QComboBox>("正则框")->setEditText(FromGbk(pattern));
    window.Control<QLineEdit>("编辑框_站名")->setText(QString::fromUtf8("论坛's \\ 版块 😀"));
    window.Control<QPlainTextEdit>("cookie框")->setPlainText(FromGbk(cookie));
    Save()->setEnabled(true);
    Save()->click();
    EXPECT_EQ(messages.boxes.at(0).caption, Gbk("方案新建成功！"));
    EXPECT_EQ(Rows("select regular,name,length(cookie) from rule"),
              (TextTable{{pattern, Gbk("论坛's \\ 版块 ?"), "102400"}}));
    window.Control<QTableWidget>("项目列表框")->selectRow(0);
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    EXPECT_EQ(ToGbk(window.Control<QComboBox>("正则框")->currentText()), pattern);
}

TEST_F(SchemeEditorTest, FailedSaveStillResetsTheForm) {
    window.Control<QLineEdit>("编辑框_站名")->setText("lost");
    db.CloseDatabase();
    Save()->setEnabled(true);
    Save()->click();
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].caption, Gbk("创建失败！"));
    EXPECT_EQ(messages.boxes[0].text.rfind(Gbk("SQL语句：") + "insert into rule(", 0), 0u);
    EXPECT_EQ(Text("编辑框_站名"), "");
}

TEST_F(SchemeEditorTest, SavingASchemeAnotherProgramRemovedFails) {
    AddAndSelect({{"name", "a"}});
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    Database other;
    ASSERT_TRUE(other.OpenDatabase(file.path(), false));
    ASSERT_TRUE(other.ExecSql("delete from rule"));
    window.Control<QLineEdit>("编辑框_站名")->setText("renamed");
    Save()->setEnabled(true);
    Save()->click();
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].caption, Gbk("创建失败！"));
    EXPECT_EQ(messages.boxes[0].text.rfind(Gbk("SQL语句：") + "update rule set ", 0), 0u);
    EXPECT_EQ(Rows("select count(*) from rule"), (TextTable{{"0"}}));
}

TEST_F(SchemeEditorTest, SaveGateClosesOnlyOnPatternEdits) {
    AddAndSelect({{"name", "a"}});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Save()->setEnabled(true);  // as after a successful rule test
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    EXPECT_TRUE(Save()->isEnabled()) << "opening a scheme leaves the gate open";
    QTest::keyClicks(window.Control("编辑框_站名"), "x");
    EXPECT_TRUE(Save()->isEnabled()) << "other fields leave it open";
    auto* pattern = window.Control<QComboBox>("正则框");
    QTest::keyClicks(pattern->lineEdit(), "x");
    EXPECT_FALSE(Save()->isEnabled());
    Save()->setEnabled(true);
    pattern->setEditText("set by the program");
    EXPECT_TRUE(Save()->isEnabled());
    emit pattern->activated(1);  // the user picks a preset
    EXPECT_FALSE(Save()->isEnabled());
}

// A scheme with a ready-made pattern, tested: clicking into the pattern box,
// pressing Enter there and leaving it is no choice of the user's.
TEST_F(SchemeEditorTest, FocusAndEnterInAReadyMadePatternLeaveTheGateOpen) {
    auto* pattern = window.Control<QComboBox>("正则框");
    ASSERT_GE(pattern->count(), 2);
    AddAndSelect({{"name", "a"}, {"regular", ToGbk(pattern->itemText(1))}});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    Save()->setEnabled(true);  // as after a successful rule test
    QTest::mouseClick(pattern->lineEdit(), Qt::LeftButton);
    ASSERT_TRUE(pattern->lineEdit()->hasFocus());
    QTest::keyClick(pattern->lineEdit(), Qt::Key_Return);
    auto* name = window.Control<QLineEdit>("编辑框_站名");
    QTest::mouseClick(name, Qt::LeftButton);
    ASSERT_TRUE(name->hasFocus());
    EXPECT_TRUE(Save()->isEnabled());
    Save()->click();
    EXPECT_EQ(messages.boxes.at(0).caption, Gbk("方案新建成功！"));
    // Choosing an entry with the keyboard is the user's choice.
    window.Control<QTableWidget>("项目列表框")->selectRow(0);
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    Save()->setEnabled(true);
    pattern->setFocus();
    QTest::keyClick(pattern, Qt::Key_Down);
    EXPECT_FALSE(Save()->isEnabled());
}

// A scheme's keywords and clean titles are not in its list row: opening it reads
// them from the database, saving writes them back, a copy takes them along and
// 新建 clears them.
TEST_F(SchemeEditorTest, KeywordsAndCleanTitlesGoThroughEditCopyAndNew) {
    ASSERT_TRUE(EnsureSchemeFieldTable(db));
    const SchemeFields fields{Gbk("相机\n/二手.*镜头/"), Gbk("结果公示"), true,
                              FetchMode::kBrowser};
    AddAndSelect({{"name", "a"}});
    const int64_t source = RowId(0);
    ASSERT_TRUE(ExecBound(db, SchemeFieldsSaveStatement(source, fields)));

    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    EXPECT_EQ(Box(kIncludeBox), fields.include);
    EXPECT_EQ(Box(kExcludeBox), fields.exclude);
    EXPECT_TRUE(CleanTitles());
    EXPECT_TRUE(window.Control<QCheckBox>(kBrowserRenderBox)->isChecked());
    EXPECT_EQ(ReadSchemeForm(window).fields, fields);
    Save()->setEnabled(true);
    Save()->click();
    EXPECT_EQ(messages.boxes.at(0).caption, Gbk("方案新建成功！"));
    EXPECT_EQ(StoredFields(source), fields) << "an update keeps the fields";
    EXPECT_EQ(Box(kIncludeBox), "") << "the form is emptied after saving";
    EXPECT_FALSE(CleanTitles());

    window.Control<QTableWidget>("项目列表框")->selectRow(0);
    OpenSchemeEditor(EditorOpenMode::Copy, editor);
    EXPECT_EQ(ReadSchemeForm(window).fields, fields);
    Save()->click();
    ASSERT_EQ(window.Control<QTableWidget>("项目列表框")->rowCount(), 2);
    EXPECT_EQ(StoredFields(RowId(1)), fields) << "the copy has the fields";
    EXPECT_EQ(StoredFields(source), fields);

    window.Control<QTableWidget>("项目列表框")->selectRow(0);
    OpenSchemeEditor(EditorOpenMode::Edit, editor);
    OpenSchemeEditor(EditorOpenMode::New, editor);
    EXPECT_TRUE(ReadSchemeForm(window).fields.IsDefault());

    // Removing a scheme removes its fields, whoever removes it.
    ASSERT_TRUE(db.ExecSql("delete from rule where id=" + std::to_string(source)));
    EXPECT_EQ(Rows("select count(*) from rule_field where id=" + std::to_string(source)),
              (TextTable{{"0"}}));
}

// A keyword that cannot be used is named in a box; nothing is stored and the form
// stays as typed, to be put right.
TEST_F(SchemeEditorTest, SaveRefusesAKeywordThatCannotBeUsed) {
    ASSERT_TRUE(EnsureSchemeFieldTable(db));
    AddAndSelect({{"name", "a"}});
    struct Case {
        const char* box;
        std::string lines;
        std::string named;  // what the message must name
    };
    const Case cases[] = {
        {kIncludeBox, "ok\n/(unclosed/", "(unclosed"},
        {kExcludeBox, "/[z-a]/", "[z-a]"},
        {kIncludeBox, "ok\n   \nfine", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        messages.boxes.clear();
        OpenSchemeEditor(EditorOpenMode::Edit, editor);
        window.Control<QLineEdit>("编辑框_站名")->setText("renamed");
        window.Control<QPlainTextEdit>(c.box)->setPlainText(FromGbk(c.lines));
        Save()->setEnabled(true);
        Save()->click();
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].caption, Gbk("创建失败！"));
        EXPECT_NE(messages.boxes[0].text.find(c.named), std::string::npos)
            << messages.boxes[0].text;
        EXPECT_EQ(Rows("select name from rule"), (TextTable{{"a"}}));
        EXPECT_EQ(Rows("select count(*) from rule_field"), (TextTable{{"0"}}));
        EXPECT_EQ(Text("编辑框_站名"), "renamed");
        EXPECT_EQ(Box(c.box), c.lines);
        window.Control<QPlainTextEdit>(c.box)->clear();
    }
}

}  // namespace
}  // namespace vela
