#include "gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace vela {
namespace {

QObject* guiTarget = nullptr;
std::atomic<bool> ending{false};

// One lock for every hand-over and the end flag's subscribers.
std::mutex handOverMutex;
std::condition_variable handOverDone;
std::map<int, std::function<void()>> endSubscribers;
int nextSubscriber = 1;

struct HandOver {
    bool started = false;
    bool done = false;
    bool abandoned = false;
};

}  // namespace

void InitGuiThread() {
    if (!guiTarget) guiTarget = new QObject(QCoreApplication::instance());
}

bool IsGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool RunOnGuiThread(const std::function<void()>& work) {
    if (ProgramEnding()) return false;
    if (IsGuiThread()) {
        work();
        return true;
    }
    if (!guiTarget) return false;
    auto state = std::make_shared<HandOver>();
    // `work` lives on this thread's stack: the GUI side runs it only while this
    // thread still waits for it (it is never abandoned once started).
    QMetaObject::invokeMethod(
        guiTarget,
        [state, &work] {
            {
                std::lock_guard lock(handOverMutex);
                if (state->abandoned) return;
                state->started = true;
            }
            work();
            std::lock_guard lock(handOverMutex);
            state->done = true;
            handOverDone.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handOverMutex);
    handOverDone.wait(lock, [&] { return state->done || (ending && !state->started); });
    if (!state->done) {
        state->abandoned = true;
        return false;
    }
    return true;
}

bool ProgramEnding() { return ending.load(); }

void BeginProgramEnd() {
    std::map<int, std::function<void()>> subscribers;
    {
        std::lock_guard lock(handOverMutex);
        ending = true;
        handOverDone.notify_all();
        subscribers = endSubscribers;
    }
    for (auto& [id, notify] : subscribers) notify();
}

int SubscribeProgramEnd(std::function<void()> notify) {
    std::lock_guard lock(handOverMutex);
    int id = nextSubscriber++;
    endSubscribers[id] = std::move(notify);
    return id;
}

void UnsubscribeProgramEnd(int id) {
    std::lock_guard lock(handOverMutex);
    endSubscribers.erase(id);
}

}  // namespace vela
