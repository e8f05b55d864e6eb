#pragma once

#include <vector>

#include "gui/message_box.h"

namespace vela::test {

// Records every message box instead of showing it, for the lifetime of the object.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = SetMessageBoxFunction([this](const MessageRequest& r) { boxes.push_back(r); });
    }
    ~MessageRecorder() { SetMessageBoxFunction(previous_); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<MessageRequest> boxes;

private:
    MessageBoxFunction previous_;
};

}  // namespace vela::test
