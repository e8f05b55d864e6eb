#pragma once

#include <QString>
#include <functional>

// Every file dialog of the program goes through AskForFile: modal, no owner, scheme
// files offered first. Tests swap the function for one that answers at once.

namespace vela {

struct FileDialogRequest {
    bool save = false;  // a file to write, not one to open
    QString caption;
    QString suggestedName;  // for a file to write
};

using FileDialogFunction = std::function<QString(const FileDialogRequest&)>;

// The path chosen; empty when the user cancelled.
QString AskForFile(const FileDialogRequest& request);

// Replaces the function that shows the dialog; returns the previous one. An empty
// function restores the real dialog.
FileDialogFunction SetFileDialogFunction(FileDialogFunction function);

}  // namespace vela
