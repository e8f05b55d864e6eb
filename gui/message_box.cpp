#include "message_box.h"

#include <QMessageBox>

#include "gbk_text.h"
#include "gui_thread.h"

namespace vela {
namespace {

void ShowQtMessageBox(const MessageRequest& request) {
    QMessageBox box(request.information ? QMessageBox::Information : QMessageBox::NoIcon,
                    FromGbk(request.caption), FromGbk(request.text), QMessageBox::Ok);
    // Texts carry SQL and page text: "<div id=...>" must show as typed.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

MessageBoxFunction& CurrentFunction() {
    static MessageBoxFunction function = ShowQtMessageBox;
    return function;
}

}  // namespace

const std::string& DefaultCaption() {
    static const std::string caption = Gbk("信息：");
    return caption;
}

void ShowMessage(const std::string& text, const std::string& caption, bool information) {
    MessageRequest request{text, caption, information};
    RunOnGuiThread([&] { CurrentFunction()(request); });
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    MessageBoxFunction previous = CurrentFunction();
    CurrentFunction() = function ? std::move(function) : MessageBoxFunction(ShowQtMessageBox);
    return previous;
}

}  // namespace vela
