#include "execute_and_report.h"

#include <mutex>

#include "app/gbk_text.h"
#include "app/message_box.h"
#include "app/status_box.h"
#include "database.h"

namespace vela {

std::string ExecuteAndReport(Database& db, MainWindow& window, const std::string& sql) {
    static const std::string kSuccess = Gbk("成功！SQL：");
    static const std::string kFailure = Gbk("执行出错！错误代码：");
    bool ok;
    int code;
    {
        // The code must be this statement's: another thread's statement could
        // otherwise run between the two calls. The box is shown after the lock.
        std::lock_guard lock(db.Mutex());
        ok = db.ExecSql(sql);
        code = db.LastErrorCode();
    }
    std::string result;
    if (ok) {
        result = kSuccess + sql;
    } else {
        result = kFailure + std::to_string(code);
        ShowMessage(result);
    }
    AppendStatus(window, "\r\n" + sql + result);
    return result;
}

}  // namespace vela
