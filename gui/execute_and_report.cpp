#include "execute_and_report.h"

#include <mutex>

#include "gbk_text.h"
#include "message_box.h"
#include "status_box.h"
#include "store/database.h"

namespace vela {
namespace {

struct Outcome {
    bool ok = false;
    int code = 0;
};

// The report of one statement: a box on failure, and the statement with its
// result appended to 状态. Runs without the database lock: the box waits for the
// user, and the worker must not keep the connection while it waits.
std::string Report(MainWindow& window, const std::string& sql, Outcome outcome) {
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

}  // namespace

std::string ExecuteAndReport(Database& db, MainWindow& window, const std::string& sql) {
    Outcome outcome;
    {
        // The code must be this statement's: another thread's statement could
        // otherwise run between the two calls.
        std::lock_guard lock(db.Mutex());
        outcome.ok = db.ExecSql(sql);
        outcome.code = db.LastErrorCode();
    }
    return Report(window, sql, outcome);
}

bool ExecuteRecordAndReport(Database& db, MainWindow& window, const std::string& insert,
                            const std::string& marker) {
    Outcome outcome;
    {
        std::lock_guard lock(db.Mutex());
        if (!db.ExecSql("begin immediate")) {
            outcome.code = db.LastErrorCode();
        } else {
            outcome.ok = db.ExecSql(insert);
            outcome.code = db.LastErrorCode();
            if (outcome.ok && (!db.ExecSql(marker) || !db.ExecSql("commit"))) {
                outcome.ok = false;
                outcome.code = db.LastErrorCode();
            }
            if (!outcome.ok) db.ExecSql("rollback");
            db.RecordResult(outcome.code);
        }
    }
    Report(window, insert, outcome);
    return outcome.ok;
}

}  // namespace vela
