#include "test_display.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>

#include "engine/region_preview.h"
#include "gbk_text.h"
#include "list_cells.h"
#include "main_window.h"
#include "message_box.h"

namespace vela {

void ShowTestResult(MainWindow& window, const std::string& region, int groupCount,
                    const std::vector<MatchRecord>& matches) {
    window.Control<QPlainTextEdit>("测试编辑框")->setPlainText(FromGbkLines(RegionPreview(region)));
    auto* list = window.Control<QTableWidget>("测试列表框");
    ClearList(list, true);
    if (matches.empty()) {
        ShowMessage(Gbk("匹配结果为0,请检查正则匹配规则!"));
        return;
    }
    window.Control<QPushButton>("按钮_保存配置")->setEnabled(true);
    // Column k shows group k, so the whole match has a column and the last
    // capturing group has none.
    QSignalBlocker block(list);
    list->setUpdatesEnabled(false);
    list->setColumnCount(groupCount);
    for (int k = 0; k < groupCount; ++k) {
        list->setHorizontalHeaderItem(k, new QTableWidgetItem(QStringLiteral("索引 %1").arg(k)));
        list->setColumnWidth(k, 80);
    }
    list->setRowCount(static_cast<int>(matches.size()));
    for (int row = 0; row < static_cast<int>(matches.size()); ++row) {
        for (int k = 0; k < groupCount; ++k) {
            auto* item = new QTableWidgetItem;
            SetItemBytes(item, SubMatchText(matches[row], region, k));
            list->setItem(row, k, item);
        }
    }
    list->setUpdatesEnabled(true);
}

}  // namespace vela
