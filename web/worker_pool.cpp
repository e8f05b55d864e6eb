#include "worker_pool.h"

namespace vela {

WorkerPool::WorkerPool(int threads, std::size_t queueLimit)
    : threads_(threads > 0 ? threads : 1), queueLimit_(queueLimit) {}

WorkerPool::~WorkerPool() { Stop(); }

void WorkerPool::Start() {
    std::lock_guard lock(mutex_);
    if (stopping_ || !workers_.empty()) return;
    for (int i = 0; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
}

bool WorkerPool::Submit(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || tasks_.size() >= queueLimit_) return false;
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

void WorkerPool::Stop() {
    std::deque<std::function<void()>> dropped;
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(tasks_);
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (auto& worker : workers) worker.join();
    // The dropped tasks go here, outside the lock: what they hold may run code of
    // its own when it goes.
}

void WorkerPool::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        // A task reports its own failures; one that throws anyway must not end
        // the program.
        try {
            task();
        } catch (...) {
        }
    }
}

}  // namespace vela
