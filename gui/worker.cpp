#include "worker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <system_error>

#include "gui_thread.h"

namespace vela {
Worker::~Worker() {
    if (thread_.joinable()) thread_.join();
}

bool Worker::Start(std::function<void()> body) {
    WaitUntilFinished();
    finished_ = false;
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            body();
            {
                std::lock_guard lock(finishMutex_);
                finished_ = true;
                finishCondition_.notify_all();
            }
            // Wake a GUI-thread wait for this worker.
            if (auto* app = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    app,
                    [this] {
                        for (QEventLoop* loop : waiting_) loop->quit();
                    },
                    Qt::QueuedConnection);
            }
        });
    } catch (const std::system_error&) {
        finished_ = true;
        return false;
    }
    return true;
}

void Worker::WaitUntilFinished() {
    if (!thread_.joinable()) return;
    if (IsGuiThread()) {
        while (!finished_ && !ProgramEnding()) {
            QEventLoop loop;
            waiting_.push_back(&loop);
            if (!finished_) loop.exec();
            waiting_.pop_back();
        }
    } else {
        std::unique_lock lock(finishMutex_);
        finishCondition_.wait(lock, [this] { return finished_.load(); });
    }
    if (finished_ && thread_.joinable()) thread_.join();
}

bool Worker::JoinWithin(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) return true;
    {
        std::unique_lock lock(finishMutex_);
        if (!finishCondition_.wait_for(lock, limit, [this] { return finished_.load(); }))
            return false;
    }
    thread_.join();
    return true;
}

}  // namespace vela
