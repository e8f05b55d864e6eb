#include "test_display.h"

#include <QPalette>
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
namespace {

constexpr int kRecordedTitleWidth = 200;

}  // namespace

void ShowTestResult(MainWindow& window, const std::string& region, int groupCount,
                    const std::vector<MatchRecord>& matches, const TestMarks& marks) {
    window.Control<QPlainTextEdit>("测试编辑框")->setPlainText(FromGbkLines(RegionPreview(region)));
    auto* list = window.Control<QTableWidget>("测试列表框");
    ClearList(list, true);
    if (matches.empty()) {
        ShowMessage(Gbk("匹配结果为0,请检查正则匹配规则!"));
        return;
    }
    window.Control<QPushButton>("按钮_保存配置")->setEnabled(true);
    const int rows = static_cast<int>(matches.size());
    const bool titles = static_cast<int>(marks.titles.size()) == rows;
    // Column k shows group k, so the whole match has a column and the last
    // capturing group has none.
    QSignalBlocker block(list);
    list->setUpdatesEnabled(false);
    list->setColumnCount(groupCount + (titles ? 1 : 0));
    for (int k = 0; k < groupCount; ++k) {
        list->setHorizontalHeaderItem(k, new QTableWidgetItem(QStringLiteral("索引 %1").arg(k)));
        list->setColumnWidth(k, 80);
    }
    if (titles) {
        list->setHorizontalHeaderItem(
            groupCount, new QTableWidgetItem(QString::fromUtf8(kRecordedTitleHeader)));
        list->setColumnWidth(groupCount, kRecordedTitleWidth);
    }
    const QColor droppedColour = list->palette().color(QPalette::Disabled, QPalette::Text);
    list->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const bool dropped = row < static_cast<int>(marks.dropped.size()) && marks.dropped[row];
        for (int k = 0; k < groupCount; ++k) {
            auto* item = new QTableWidgetItem;
            SetItemBytes(item, SubMatchText(matches[row], region, k));
            if (dropped) item->setForeground(droppedColour);
            list->setItem(row, k, item);
        }
        if (titles) {
            auto* item = new QTableWidgetItem;
            SetItemBytes(item, (dropped ? Gbk(kDroppedMark) : std::string()) + marks.titles[row]);
            if (dropped) item->setForeground(droppedColour);
            list->setItem(row, groupCount, item);
        }
    }
    list->setUpdatesEnabled(true);
}

}  // namespace vela
