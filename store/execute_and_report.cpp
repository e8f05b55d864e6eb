#include "execute_and_report.h"

#include "app/gbk_text.h"
#include "app/message_box.h"
#include "app/status_box.h"
#include "database.h"

namespace vela {

std::string ExecuteAndReport(Database& db, MainWindow& window, const std::string& sql) {
    static const std::string kSuccess = Gbk("成功！SQL：");
    static const std::string kFailure = Gbk("执行出错！错误代码：");
    std::string result;
    if (db.ExecSql(sql)) {
        result = kSuccess + sql;
    } else {
        result = kFailure + std::to_string(db.LastErrorCode());
        ShowMessage(result);
    }
    AppendStatus(window, "\r\n" + sql + result);
    return result;
}

}  // namespace vela
