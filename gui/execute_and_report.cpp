#include "execute_and_report.h"

#include "gbk_text.h"
#include "message_box.h"
#include "status_box.h"

namespace vela {

std::string ReportStatement(MainWindow& window, const std::string& sql, StatementOutcome outcome) {
    static const std::string kSuccess = Gbk("成功！SQL：");
    static const std::string kFailure = Gbk("执行出错！错误代码：");
    std::string result;
    if (outcome.ok) {
        result = kSuccess + sql;
    } else {
        result = kFailure + std::to_string(outcome.code);
        ShowMessage(result);
    }
    AppendStatus(window, "\r\n" + sql + result);
    return result;
}

std::string ExecuteAndReport(Database& db, MainWindow& window, const std::string& sql) {
    return ReportStatement(window, sql, ExecuteStatement(db, sql));
}

}  // namespace vela
