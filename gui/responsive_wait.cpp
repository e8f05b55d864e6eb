#include "responsive_wait.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "gui_thread.h"

namespace vela {
namespace {

std::mutex wakeMutex;
std::condition_variable wakeCondition;
unsigned long long wakeGeneration = 0;

void WaitOnGuiThread(long long milliseconds) {
    // QTimer takes int milliseconds: longer waits run in slices.
    constexpr long long kSlice = 1'000'000'000;
    while (milliseconds > 0 && !ProgramEnding()) {
        long long slice = milliseconds < kSlice ? milliseconds : kSlice;
        milliseconds -= slice;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(slice));
        loop.exec();
    }
}

void WaitOnPlainThread(long long milliseconds) {
    std::unique_lock lock(wakeMutex);
    unsigned long long generation = wakeGeneration;
    wakeCondition.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [&] { return generation != wakeGeneration || ProgramEnding(); });
}

int SubscribeOnce() {
    static int id = SubscribeProgramEnd(WakeWaits);
    return id;
}

}  // namespace

bool ResponsiveWait(long long milliseconds) {
    SubscribeOnce();
    if (ProgramEnding() || milliseconds <= 0) return true;
    if (IsGuiThread()) {
        WaitOnGuiThread(milliseconds);
    } else {
        WaitOnPlainThread(milliseconds);
    }
    return true;
}

void WakeWaits() {
    std::lock_guard lock(wakeMutex);
    ++wakeGeneration;
    wakeCondition.notify_all();
}

}  // namespace vela
