#pragma once

#include <string>

class QTableWidget;

// Reading and writing list rows as GBK cells, the way the engine addresses them.

namespace vela {

// The exact bytes of cell (row, column); empty for a row or column that does not exist.
std::string CellText(const QTableWidget* list, int row, int column);

// The single selected row, or -1.
int SelectedRow(const QTableWidget* list);

bool RowChecked(const QTableWidget* list, int row);
void SetRowChecked(QTableWidget* list, int row, bool checked);

// Removes every row (and, with `columns`, every column too).
void ClearList(QTableWidget* list, bool columns);

}  // namespace vela
