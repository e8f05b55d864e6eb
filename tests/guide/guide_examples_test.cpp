// The worked examples of the guide, read out of the guide as the program carries
// it: every scheme block is typed into the editor, tested with 规则测试, saved, and
// monitored against its sample pages on a loopback server; each results table of
// the guide must be exactly what the rule tester shows and what monitoring stores.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <map>

#include "gui/guide_window.h"
#include "gui/keyword_boxes.h"
#include "gui/scheme_editor.h"
#include "gui/test_display.h"
#include "tests/gui/monitor_fixture.h"

namespace vela {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

// One results table: the sample page it belongs to and its rows, by column name.
struct GuideRun {
    QString page;
    QStringList columns;
    std::vector<QStringList> rows;
};

// One ```方案 block: the editor's fields by label (a label given on several lines
// is a box with one line each), the table of what the rule tester shows, if the
// guide has one, and the tables of what is stored.
struct GuideExample {
    int line = 0;
    std::map<QString, QString> fields;
    GuideRun tester;
    std::vector<GuideRun> runs;

    QString Field(const char* label) const {
        auto it = fields.find(U(label));
        return it == fields.end() ? QString() : it->second;
    }
};

QStringList TableCells(const QString& line) {
    QString inner = line.trimmed();
    inner = inner.mid(1, inner.size() - 2);  // the outer pipes
    QStringList cells = inner.split('|');
    for (QString& cell : cells) {
        cell = cell.trimmed();
        if (cell.size() >= 2 && cell.startsWith('`') && cell.endsWith('`'))
            cell = cell.mid(1, cell.size() - 2);
    }
    return cells;
}

std::vector<GuideExample> ParseGuide(const QString& markdown) {
    static const QRegularExpression pageComment(U("^<!-- 样例页：(\\S+) -->$"));
    std::vector<GuideExample> examples;
    QStringList lines = markdown.split('\n');
    QString pendingPage;
    bool pendingTester = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line == U("```方案")) {
            GuideExample example;
            example.line = i + 1;
            for (++i; i < lines.size() && lines[i] != "```"; ++i) {
                int colon = lines[i].indexOf(U("："));
                if (colon <= 0) continue;
                QString& field = example.fields[lines[i].left(colon)];
                field += (field.isEmpty() ? "" : "\n") + lines[i].mid(colon + 1);
            }
            examples.push_back(example);
        } else if (auto match = pageComment.match(line); match.hasMatch()) {
            pendingPage = match.captured(1);
        } else if (line == U("<!-- 规则测试 -->")) {
            pendingTester = true;
        } else if (line.startsWith('|') && pendingTester && !examples.empty()) {
            GuideRun& tester = examples.back().tester;
            tester.columns = TableCells(line);
            for (i += 2; i < lines.size() && lines[i].startsWith('|'); ++i)
                tester.rows.push_back(TableCells(lines[i]));
            pendingTester = false;
        } else if (line.startsWith('|') && !pendingPage.isEmpty() && !examples.empty()) {
            GuideRun run{pendingPage, TableCells(line), {}};
            for (i += 2; i < lines.size() && lines[i].startsWith('|'); ++i)
                run.rows.push_back(TableCells(lines[i]));
            examples.back().runs.push_back(run);
            pendingPage.clear();
        }
    }
    return examples;
}

std::string ReadPage(const QString& name) {
    QFile file(U(VELA_TEST_DATA "/guide/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

// The address's path and query: what the loopback server is asked for.
QString PathOf(const QString& url) {
    int host = url.indexOf("://");
    int path = url.indexOf('/', host < 0 ? 0 : host + 3);
    return path < 0 ? QStringLiteral("/") : url.mid(path);
}

// The info column each results-table column shows.
const std::map<QString, const char*> kColumns = {
    {U("帖子标题"), "title"}, {U("链接"), "url"}, {U("备用"), "other"}};

class GuideExamplesTest : public ::testing::Test {
protected:
    void SetUp() override {
        examples = ParseGuide(GuideMarkdown());
        ASSERT_GE(examples.size(), 4u) << "the guide's ```方案 blocks were not found";
    }
    std::vector<GuideExample> examples;
};

// Runs one example as a user would: type the scheme into a new form, test it,
// save it, then start monitoring once per sample page.
class ExampleRun : public test::MonitorFixture {
public:
    explicit ExampleRun(const GuideExample& example) : example_(example) {}

    void Run() {
        ASSERT_FALSE(example_.runs.empty()) << "no results table after the scheme";
        FillEditor();
        page = ReadPage(example_.runs.front().page);
        ASSERT_FALSE(page.empty()) << example_.runs.front().page.toStdString();
        OnTestScheme(context.process);
        ASSERT_TRUE(messages.boxes.empty()) << messages.boxes.front().text;
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(test::RequestTarget(server.Requests().back()),
                  PathOf(example_.Field("监控网址")).toStdString());
        CheckRuleTester(example_.runs.front());
        ASSERT_TRUE(window.Control<QPushButton>("按钮_保存配置")->isEnabled());
        OnSaveScheme(editor_);
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].caption, Gbk("方案新建成功！")) << messages.boxes[0].text;
        messages.boxes.clear();
        for (const GuideRun& run : example_.runs) {
            SCOPED_TRACE(run.page.toStdString());
            page = ReadPage(run.page);
            ASSERT_FALSE(page.empty());
            std::string seen = MaxArticleId();
            ToggleMonitoring(context);
            EXPECT_TRUE(messages.boxes.empty());
            CheckStored(run, seen);
        }
    }

private:
    void SetLine(const char* control, const QString& text) {
        window.Control<QLineEdit>(control)->setText(text);
    }

    void FillEditor() {
        OpenSchemeEditor(EditorOpenMode::New, editor_);
        const std::map<QString, const char*> lines = {
            {U("方案名称"), "编辑框_站名"},  {U("采集区域（前）"), "采集前"},
            {U("采集区域（后）"), "采集后"}, {U("合成网址"), "补全框"},
            {U("标题索引"), "tindex框"},     {U("备用索引"), "oindex框"},
            {U("文章id索引"), "uindex框"},   {U("浏览器UA"), "ua框"}};
        const std::map<QString, int> modes = {
            {U("时间倒序"), 0}, {U("时间正序"), 2}, {U("比较文章ID"), 8}};
        for (const auto& [label, value] : example_.fields) {
            SCOPED_TRACE(label.toStdString());
            if (auto line = lines.find(label); line != lines.end()) {
                SetLine(line->second, value);
            } else if (label == U("监控网址")) {
                SetLine("编辑框_网址",
                        QString::fromStdString(server.Url(PathOf(value).toStdString())));
            } else if (label == U("gbk编码")) {
                ASSERT_TRUE(value == U("勾选") || value == U("不勾选"));
                window.Control<QCheckBox>("gbk")->setChecked(value == U("勾选"));
            } else if (label == U("正则匹配")) {
                window.Control<QComboBox>("正则框")->setEditText(value);
            } else if (label == U("COOKIE")) {
                window.Control<QPlainTextEdit>("cookie框")->setPlainText(value);
            } else if (label == U("判断模式")) {
                ASSERT_TRUE(modes.count(value));
                SetEditorJudgeMode(modes.at(value), editor_);
            } else if (label == U("包含关键词")) {
                window.Control<QPlainTextEdit>(kIncludeBox)->setPlainText(value);
            } else if (label == U("排除关键词")) {
                window.Control<QPlainTextEdit>(kExcludeBox)->setPlainText(value);
            } else if (label == U("清理标题")) {
                ASSERT_TRUE(value == U("勾选") || value == U("不勾选"));
                window.Control<QCheckBox>(kCleanTitlesBox)->setChecked(value == U("勾选"));
            } else {
                ADD_FAILURE() << "no editor field is labelled so";
            }
        }
    }

    int Group(const char* label) const { return example_.Field(label).toInt(); }

    // The tester shows groups 0 … N-1 of each match in page order: every value
    // of the table that comes from a shown group must be there as the guide says,
    // and a title in a group without a column must at least be in the whole match.
    // A scheme with keywords or clean titles adds the column of the titles as
    // recorded: the stored titles are those of its rows not marked as dropped.
    void CheckRuleTester(const GuideRun& run) {
        auto* list = window.Control<QTableWidget>("测试列表框");
        const int columns = list->columnCount();
        const bool recorded = columns > 0 && list->horizontalHeaderItem(columns - 1)->text() ==
                                                 U(kRecordedTitleHeader);
        const int shown = recorded ? columns - 1 : columns;
        CheckTesterTable(list, shown);
        std::vector<int> kept;
        for (int r = 0; r < list->rowCount(); ++r) {
            if (!recorded || CellText(list, r, shown).rfind(Gbk(kDroppedMark), 0) != 0)
                kept.push_back(r);
        }
        ASSERT_EQ(kept.size(), run.rows.size());
        static const QRegularExpression placeholder(U("\\[(\\d+)\\]"));
        for (int i = 0; i < static_cast<int>(kept.size()); ++i) {
            const int r = kept[i];
            SCOPED_TRACE(r);
            for (int c = 0; c < run.columns.size(); ++c) {
                const QString& column = run.columns[c];
                std::string expected = ToGbk(run.rows[i].value(c));
                if (column == U("帖子标题")) {
                    int k = Group("标题索引");
                    if (recorded) {
                        EXPECT_EQ(CellText(list, r, shown), expected);
                    } else if (k < shown) {
                        EXPECT_EQ(CellText(list, r, k), expected);
                    } else {
                        EXPECT_NE(CellText(list, r, 0).find(expected), std::string::npos);
                    }
                } else if (column == U("备用")) {
                    // Clean titles clean the spare value too: the group shows it raw.
                    if (int k = Group("备用索引"); k < shown && !recorded) {
                        EXPECT_EQ(CellText(list, r, k), expected);
                    }
                } else if (column == U("链接")) {
                    QString link = example_.Field("合成网址");
                    bool complete = true;
                    for (auto m = placeholder.globalMatch(link); m.hasNext();) {
                        int k = m.next().captured(1).toInt();
                        complete = complete && k < shown;
                        if (k < shown)
                            link.replace("[" + QString::number(k) + "]",
                                         FromGbk(CellText(list, r, k)));
                    }
                    if (complete) {
                        EXPECT_EQ(ToGbk(link), expected);
                    }
                }
            }
        }
    }

    // The guide's table of what the rule tester shows, column by column header.
    void CheckTesterTable(QTableWidget* list, int shown) {
        const GuideRun& tester = example_.tester;
        if (tester.columns.isEmpty()) return;
        ASSERT_EQ(list->rowCount(), static_cast<int>(tester.rows.size()));
        for (int c = 0; c < tester.columns.size(); ++c) {
            int column = -1;
            for (int k = 0; k <= shown && k < list->columnCount(); ++k) {
                if (list->horizontalHeaderItem(k)->text() == tester.columns[c]) column = k;
            }
            ASSERT_GE(column, 0) << tester.columns[c].toStdString();
            for (int r = 0; r < list->rowCount(); ++r)
                EXPECT_EQ(CellText(list, r, column), ToGbk(tester.rows[r].value(c))) << r;
        }
    }

    std::string MaxArticleId() {
        TextTable rows = Rows("select coalesce(max(id),0) from info");
        return rows.empty() ? "0" : rows[0][0];
    }

    // The articles this run stored are the table's rows, each once (in whatever
    // order they were inserted).
    void CheckStored(const GuideRun& run, const std::string& seenId) {
        std::string select;
        for (const QString& column : run.columns) {
            ASSERT_TRUE(kColumns.count(column)) << column.toStdString();
            select += std::string(select.empty() ? "" : ",") + kColumns.at(column);
        }
        TextTable stored = Rows("select " + select + " from info where id>" + seenId);
        TextTable expected;
        for (const QStringList& row : run.rows) {
            std::vector<std::string> cells;
            for (const QString& cell : row) cells.push_back(ToGbk(cell));
            expected.push_back(cells);
        }
        std::sort(stored.begin(), stored.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(stored, expected);
    }

    const GuideExample& example_;
    EditorContext editor_{window, db, cursor};
};

TEST_F(GuideExamplesTest, EachSchemeFindsExactlyTheEntriesTheGuideShows) {
    bool gbk = false, utf8 = false, ids = false;
    for (const GuideExample& example : examples) {
        SCOPED_TRACE("docs/guide.md line " + std::to_string(example.line));
        gbk = gbk || example.Field("gbk编码") == U("勾选");
        utf8 = utf8 || example.Field("gbk编码") == U("不勾选");
        ids = ids || example.Field("判断模式") == U("比较文章ID");
        ExampleRun(example).Run();
    }
    EXPECT_TRUE(gbk && utf8 && ids) << "a GBK page, a UTF-8 page and a board with ids";
    EXPECT_TRUE(std::any_of(examples.begin(), examples.end(), [](const GuideExample& e) {
        return !e.Field("包含关键词").isEmpty() && !e.Field("排除关键词").isEmpty() &&
               e.Field("清理标题") == U("勾选") && !e.tester.rows.empty();
    })) << "keywords and clean titles, with what the rule tester shows";
}

// The guide quotes every entry of the pattern box's list exactly.
TEST_F(GuideExamplesTest, QuotesTheReadyMadePatterns) {
    MainWindow window;
    auto* box = window.Control<QComboBox>("正则框");
    ASSERT_EQ(box->count(), 4);
    const QString guide = GuideMarkdown();
    for (int i = 0; i < box->count(); ++i) {
        EXPECT_TRUE(guide.contains("\n" + box->itemText(i) + "\n")) << i;
    }
}

}  // namespace
}  // namespace vela
