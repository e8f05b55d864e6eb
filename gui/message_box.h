#pragma once

#include <functional>
#include <string>

// Every message box of the program goes through ShowMessage: modal, no owner, an OK
// button. Texts are GBK. Tests swap the function for a recorder.

namespace vela {

struct MessageRequest {
    std::string text;
    std::string caption;
    bool information = false;  // the information icon
};

using MessageBoxFunction = std::function<void(const MessageRequest&)>;

// The caption every box carries unless it names another: "信息：".
const std::string& DefaultCaption();

// Shows the box and waits until it is closed; from a worker thread the box is
// shown on the GUI thread and the worker waits.
void ShowMessage(const std::string& text, const std::string& caption = DefaultCaption(),
                 bool information = false);

// Replaces the function that shows boxes; returns the previous one. An empty
// function restores the real message box.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);

}  // namespace vela
