#include "database_startup.h"

#include <QPushButton>
#include <filesystem>

#include "gbk_text.h"
#include "main_window.h"
#include "message_box.h"
#include "store/database.h"
#include "store/scheme_fields.h"

namespace vela {

bool StartDatabase(Database& db, MainWindow& window, const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        ShowMessage(Gbk("数据库文件不存在！"), Gbk("错误"));
        window.Control<QPushButton>("运行")->setEnabled(false);
        return false;
    }
    if (!db.OpenDatabase(path, false)) {
        ShowMessage(Gbk("数据库打开失败！"));
        window.Control<QPushButton>("运行")->setEnabled(false);
    } else {
        EnsureSchemeFieldTable(db);  // a read-only file reads its schemes with default fields
    }
    return true;
}

}  // namespace vela
