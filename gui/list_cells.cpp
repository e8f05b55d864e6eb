#include "list_cells.h"

#include <QItemSelectionModel>
#include <QSignalBlocker>
#include <QTableWidget>

#include "gbk_text.h"

namespace vela {

std::string CellText(const QTableWidget* list, int row, int column) {
    if (row < 0 || column < 0 || row >= list->rowCount() || column >= list->columnCount())
        return {};
    return ItemBytes(list->item(row, column));
}

int SelectedRow(const QTableWidget* list) {
    const auto rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool RowChecked(const QTableWidget* list, int row) {
    if (row < 0 || row >= list->rowCount() || list->columnCount() == 0) return false;
    const QTableWidgetItem* item = list->item(row, 0);
    return item && item->checkState() == Qt::Checked;
}

void SetRowChecked(QTableWidget* list, int row, bool checked) {
    if (row < 0 || row >= list->rowCount() || list->columnCount() == 0) return;
    QTableWidgetItem* item = list->item(row, 0);
    if (!item) {
        item = new QTableWidgetItem;
        QSignalBlocker block(list);
        list->setItem(row, 0, item);
    }
    // A change the program makes raises no change event.
    QSignalBlocker block(list);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void ClearList(QTableWidget* list, bool columns) {
    QSignalBlocker block(list);
    list->setRowCount(0);
    if (columns) list->setColumnCount(0);
}

}  // namespace vela
