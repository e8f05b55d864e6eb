#pragma once

namespace vela {

class Database;
class MainWindow;
class QueryCursor;

// 导入方案…: a scheme file chosen in a file dialog, checked whole, then all its
// schemes added as new rows, or none; the scheme list shows them at once.
void OnImportSchemes(MainWindow& window, QueryCursor& cursor, Database& db);

// 导出方案…: the selected scheme, or every scheme when none is selected, written
// as a scheme file chosen in a file dialog.
void OnExportSchemes(MainWindow& window, Database& db);

}  // namespace vela
