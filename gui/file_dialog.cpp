#include "file_dialog.h"

#include <QFileDialog>

namespace vela {
namespace {

QString ShowQtFileDialog(const FileDialogRequest& request) {
    const QString filter = QString::fromUtf8("方案文件 (*.toml);;所有文件 (*)");
    return request.save ? QFileDialog::getSaveFileName(nullptr, request.caption,
                                                       request.suggestedName, filter)
                        : QFileDialog::getOpenFileName(nullptr, request.caption, QString(), filter);
}

FileDialogFunction& CurrentFunction() {
    static FileDialogFunction function = ShowQtFileDialog;
    return function;
}

}  // namespace

QString AskForFile(const FileDialogRequest& request) { return CurrentFunction()(request); }

FileDialogFunction SetFileDialogFunction(FileDialogFunction function) {
    FileDialogFunction previous = CurrentFunction();
    CurrentFunction() = function ? std::move(function) : FileDialogFunction(ShowQtFileDialog);
    return previous;
}

}  // namespace vela
