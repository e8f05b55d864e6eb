// The scheme list's 导入方案… and 导出方案…: a file dialog (answered by the test),
// the same checks and file as the runner, the outcome in a message box.

#include "gui/scheme_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTableWidget>
#include <fstream>
#include <sstream>

#include "engine/scheme_file.h"
#include "fetch/encoding.h"
#include "gui/file_dialog.h"
#include "gui/list_cells.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Board(const std::string& name, bool ticked) {
    return "[[scheme]]\nname = '" + name +
           "'\nurl = 'https://bbs.example/b'\nencoding = 'gbk'\nbefore = '<ul>'\n"
           "after = '</ul>'\npattern = '<a href=\"(.*?)\">(.*?)</a>'\nlink = '[1]'\n"
           "title_group = 2\nticked = " +
           (ticked ? "true" : "false") + "\n\n";
}

class SchemeFilesTest : public ::testing::Test {
protected:
    SchemeFilesTest() {
        db.OpenDatabase(file.path(), false);
        previous = SetFileDialogFunction([this](const FileDialogRequest& request) {
            requests.push_back(request);
            return answer;
        });
    }
    ~SchemeFilesTest() override { SetFileDialogFunction(previous); }

    QTableWidget* List() { return window.Control<QTableWidget>("项目列表框"); }

    test::TestDatabaseFile file;
    Database db;
    QueryCursor cursor;
    MainWindow window;
    test::MessageRecorder messages;
    FileDialogFunction previous;
    std::vector<FileDialogRequest> requests;
    QString answer;
};

TEST_F(SchemeFilesTest, ImportShowsTheNewSchemesAtOnce) {
    answer = QString::fromStdString(
        test::WriteFile(file.dir(), "in.toml", Board("论坛", true) + Board("b", false)));
    OnImportSchemes(window, cursor, db);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].save);
    ASSERT_EQ(List()->rowCount(), 2);
    EXPECT_EQ(CellText(List(), 0, 3), Gbk("论坛"));
    EXPECT_TRUE(RowChecked(List(), 0));
    EXPECT_FALSE(RowChecked(List(), 1));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].caption, Gbk("导入方案"));
    EXPECT_EQ(messages.boxes[0].text, Gbk("已导入 2 个方案，编号：1, 2"));

    // A file with a fault: its line and key in the box, nothing added.
    const std::string bad =
        test::WriteFile(file.dir(), "bad.toml", Board("c", true) + "mode = 'sideways'\n");
    answer = QString::fromStdString(bad);
    OnImportSchemes(window, cursor, db);
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].caption, Gbk("导入方案失败"));
    EXPECT_TRUE(messages.boxes[1].text.starts_with(bad + ":12: mode: must be"))
        << messages.boxes[1].text;
    EXPECT_EQ(List()->rowCount(), 2);

    // A cancelled dialog does nothing.
    answer.clear();
    OnImportSchemes(window, cursor, db);
    EXPECT_EQ(messages.boxes.size(), 2u);
}

TEST_F(SchemeFilesTest, ExportTakesTheSelectedSchemeOrAll) {
    answer = QString::fromStdString(
        test::WriteFile(file.dir(), "in.toml", Board("a", true) + Board("b", true)));
    OnImportSchemes(window, cursor, db);
    const std::string out = file.dir() + "/out.toml";
    answer = QString::fromStdString(out);

    List()->selectRow(1);
    OnExportSchemes(window, db);
    EXPECT_TRUE(requests.back().save);
    EXPECT_EQ(requests.back().suggestedName, "vela-scheme-2.toml");
    SchemeFileRead read = ReadSchemeFile(FileBytes(out), "out.toml");
    ASSERT_EQ(read.schemes.size(), 1u);
    EXPECT_EQ(read.schemes[0].save.form.name, "b");
    EXPECT_EQ(messages.boxes.back().caption, Gbk("导出方案"));

    List()->clearSelection();
    OnExportSchemes(window, db);
    read = ReadSchemeFile(FileBytes(out), "out.toml");
    EXPECT_EQ(read.schemes.size(), 2u);
    // A scheme may hold a login cookie: the file is the user's alone, as the
    // runner's export -o writes it.
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace vela
