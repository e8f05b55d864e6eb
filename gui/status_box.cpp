#include "status_box.h"

#include <QPlainTextEdit>

#include "gbk_text.h"
#include "gui_thread.h"
#include "main_window.h"

namespace vela {

void AppendStatus(MainWindow& window, const std::string& gbk) {
    RunOnGuiThread([&] {
        auto* box = window.Control<QPlainTextEdit>("状态");
        box->moveCursor(QTextCursor::End);
        box->insertPlainText(FromGbkLines(gbk));
        box->moveCursor(QTextCursor::End);
        box->ensureCursorVisible();
    });
}

std::string StatusText(MainWindow& window) {
    std::string text;
    RunOnGuiThread(
        [&] { text = ToGbkLines(window.Control<QPlainTextEdit>("状态")->toPlainText()); });
    return text;
}

}  // namespace vela
