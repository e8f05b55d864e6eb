#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QEventLoop;

namespace vela {

// The one monitoring worker thread. It is always joined: a new worker is started
// only after the previous one has finished, and the GUI thread waits for that with
// a nested event loop, so a finishing worker can still hand work over to it.
class Worker {
public:
    Worker() = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts `body` on a new thread; false when no thread could be started.
    bool Start(std::function<void()> body);
    bool Running() const { return thread_.joinable() && !finished_; }
    // Waits until the worker has finished (dispatching events on the GUI thread).
    void WaitUntilFinished();
    // Waits at most `limit`; true when the worker has finished and was joined.
    bool JoinWithin(std::chrono::milliseconds limit);

private:
    std::thread thread_;
    std::atomic<bool> finished_{true};
    std::mutex finishMutex_;
    std::condition_variable finishCondition_;
    std::vector<QEventLoop*> waiting_;  // nested waits, innermost last
};

}  // namespace vela
