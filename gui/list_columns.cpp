#include "list_columns.h"

#include <QHeaderView>
#include <QTableWidget>
#include <initializer_list>
#include <utility>

#include "main_window.h"

namespace vela {
namespace {

using Columns = std::initializer_list<std::pair<const char*, int>>;

void SetColumns(QTableWidget* list, Columns columns) {
    list->setColumnCount(static_cast<int>(columns.size()));
    int i = 0;
    for (auto [title, width] : columns) {
        list->setHorizontalHeaderItem(i, new QTableWidgetItem(QString::fromUtf8(title)));
        list->setColumnWidth(i, width);
        ++i;
    }
}

}  // namespace

void SetUpListColumns(MainWindow& window) {
    SetColumns(window.Control<QTableWidget>("文章列表框"), {{"id", 40},
                                                            {"站点", 100},
                                                            {"帖子标题", 250},
                                                            {"链接", 100},
                                                            {"更新时间", 120},
                                                            {"状态", 0},
                                                            {"备用", 80}});
    SetColumns(window.Control<QTableWidget>("项目列表框"), {{"项目ID", 50},
                                                            {"方案名", 120},
                                                            {"编码", 50},
                                                            {"监控网址", 100},
                                                            {"采集前", 50},
                                                            {"采集后", 50},
                                                            {"正则", 50},
                                                            {"补全网址", 50},
                                                            {"COOKIE", 50},
                                                            {"UA", 50},
                                                            {"最新文章", 350},
                                                            {"更新时间", 80}});
    SetColumns(window.Control<QTableWidget>("收藏列表框"), {{"id", 40},
                                                            {"站点", 120},
                                                            {"帖子标题", 350},
                                                            {"链接", 100},
                                                            {"更新时间", 80},
                                                            {"状态", 50}});
}

}  // namespace vela
