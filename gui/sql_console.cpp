#include "sql_console.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include "execute_and_report.h"
#include "gbk_text.h"
#include "main_window.h"
#include "message_box.h"

namespace vela {

void OnRunSql(Database& db, MainWindow& window) {
    std::string sql = ToGbkLines(window.Control<QPlainTextEdit>("sql框")->toPlainText());
    std::string result = ExecuteAndReport(db, window, sql);
    ShowMessage(result, Gbk("SQL执行结果"));
}

void BindSqlConsole(Database& db, MainWindow& window) {
    QObject::connect(window.Control<QPushButton>("按钮_执行SQL"), &QPushButton::clicked, &window,
                     [&db, &window] { OnRunSql(db, window); });
}

}  // namespace vela
