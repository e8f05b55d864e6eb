#include "list_fill.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>
#include <mutex>

#include "gbk_text.h"
#include "list_cells.h"
#include "main_window.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/query_cursor.h"

namespace vela {
namespace {

// Runs the query under the connection's lock so that no statement of the worker
// runs between counting the rows and reading them.
bool ReadRows(QueryCursor& cursor, Database& db, const char* sql, TextTable& rows,
              std::vector<std::string>* names = nullptr) {
    std::lock_guard lock(db.Mutex());
    if (!cursor.PrepareQuery(sql, db) || !cursor.CountRows()) return false;
    if (names) *names = cursor.ColumnNames();
    rows = cursor.AllRowsAsText(false);
    return true;
}

void AppendRow(QTableWidget* list, const std::vector<std::string>& cells) {
    int row = list->rowCount();
    list->insertRow(row);
    for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
        auto* item = new QTableWidgetItem;
        SetItemBytes(item, cells[column]);
        list->setItem(row, column, item);
    }
}

void FillInfoList(QTableWidget* list, QueryCursor& cursor, Database& db, const char* sql,
                  bool withOther) {
    QSignalBlocker block(list);
    ClearList(list, false);
    TextTable rows;
    if (!ReadRows(cursor, db, sql, rows)) return;
    // Cells 0 to 5 show id, planname, title, url, addtime, issoucang; the article
    // list adds other as cell 6.
    static const int kFields[] = {0, 1, 3, 4, 6, 7, 5};
    const int cells = withOther ? 7 : 6;
    list->setUpdatesEnabled(false);
    for (const auto& row : rows) {
        std::vector<std::string> shown(cells);
        for (int i = 0; i < cells; ++i) {
            if (kFields[i] < static_cast<int>(row.size())) shown[i] = row[kFields[i]];
        }
        AppendRow(list, shown);
    }
    list->setUpdatesEnabled(true);
}

}  // namespace

void FillSchemeList(MainWindow& window, QueryCursor& cursor, Database& db) {
    auto* list = window.Control<QTableWidget>("项目列表框");
    QSignalBlocker block(list);
    ClearList(list, true);
    TextTable rows;
    std::vector<std::string> names;
    if (!ReadRows(cursor, db, kSchemeListQuery, rows, &names)) return;
    list->setColumnCount(static_cast<int>(names.size()));
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        list->setHorizontalHeaderItem(i,
                                      new QTableWidgetItem(FromGbk(std::to_string(i) + names[i])));
        list->setColumnWidth(i, 80);
    }
    list->setUpdatesEnabled(false);
    for (const auto& row : rows) {
        AppendRow(list, row);
        int r = list->rowCount() - 1;
        SetRowChecked(list, r, CellText(list, r, 17) == "1");
    }
    list->setUpdatesEnabled(true);
}

void FillArticleList(MainWindow& window, QueryCursor& cursor, Database& db) {
    FillInfoList(window.Control<QTableWidget>("文章列表框"), cursor, db, kArticleListQuery, true);
}

void FillFavouriteList(MainWindow& window, QueryCursor& cursor, Database& db) {
    FillInfoList(window.Control<QTableWidget>("收藏列表框"), cursor, db, kFavouriteListQuery,
                 false);
}

}  // namespace vela
