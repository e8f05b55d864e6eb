#include "scheme_files.h"

#include <QFile>
#include <QTableWidget>

#include "engine/scheme_transfer.h"
#include "fetch/atomic_file.h"
#include "fetch/encoding.h"
#include "file_dialog.h"
#include "gbk_text.h"
#include "list_cells.h"
#include "list_fill.h"
#include "main_window.h"
#include "message_box.h"
#include "store/row_id.h"

namespace vela {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

}  // namespace

void OnImportSchemes(MainWindow& window, QueryCursor& cursor, Database& db) {
    const QString path = AskForFile({false, QString::fromUtf8("导入方案"), QString()});
    if (path.isEmpty()) return;
    const std::string failed = Gbk("导入方案失败");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(Gbk("无法读取文件：") + ToGbk(path), failed);
        return;
    }
    // One byte more than a scheme file may hold: a larger file is refused unread.
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxSchemeFileBytes) + 1);
    const SchemeFileRead read =
        ReadSchemeFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                       path.toStdString());
    if (!read.ok()) {
        ShowMessage(Utf8ToGbk(Joined(read.errors)) + Gbk("\n\n没有导入任何方案。"), failed);
        return;
    }
    const SchemeImport import = ImportSchemes(db, read.schemes);
    if (!import.ok) {
        ShowMessage(Utf8ToGbk(import.error), failed);
        return;
    }
    FillSchemeList(window, cursor, db);
    std::string ids;
    for (const int64_t id : import.ids) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
    ShowMessage(Gbk("已导入 ") + std::to_string(import.ids.size()) + Gbk(" 个方案，编号：") + ids,
                Gbk("导入方案"));
}

void OnExportSchemes(MainWindow& window, Database& db) {
    const auto* list = window.Control<QTableWidget>("项目列表框");
    const int row = SelectedRow(list);
    std::vector<int64_t> ids;
    QString suggested = QString::fromUtf8("vela-schemes.toml");
    if (row >= 0) {
        const std::string id = CellText(list, row, 0);
        // A row key is a positive number; anything else is no scheme (0 names none).
        int64_t rowId = 0;
        ParseRowId(id, rowId);
        ids.push_back(rowId);
        suggested = QString::fromUtf8("vela-scheme-%1.toml").arg(QString::fromStdString(id));
    }
    const QString path = AskForFile({true, QString::fromUtf8("导出方案"), suggested});
    if (path.isEmpty()) return;
    const std::string failed = Gbk("导出方案失败");
    const SchemeFileText text = ExportSchemes(db, ids);
    if (!text.ok) {
        ShowMessage(Utf8ToGbk(text.error), failed);
        return;
    }
    // Written whole or not at all, and for the user alone as vela-cli export -o
    // writes it: a scheme may hold a login cookie.
    if (!WriteFileAtomically(QFile::encodeName(path).toStdString(), text.text, FileMode::Owner)
             .Replaced()) {
        ShowMessage(Gbk("无法写入文件：") + ToGbk(path), failed);
        return;
    }
    ShowMessage(Gbk("方案已导出到：") + ToGbk(path), Gbk("导出方案"));
}

}  // namespace vela
