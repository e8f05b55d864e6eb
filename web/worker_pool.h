#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads for the work that may wait (the database), so that the server's
// own threads never do: a request that waits for a writer's lock holds up one of
// these, never the connections. Bounded: a fixed number of threads and of tasks
// waiting for one.

namespace vela {

class WorkerPool {
public:
    WorkerPool(int threads, std::size_t queueLimit);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts the threads.
    void Start();
    // Queues `task`. False when `queueLimit` tasks already wait, or after Stop().
    bool Submit(std::function<void()> task);
    // Lets the tasks under way finish, drops those still waiting, joins the threads.
    void Stop();

private:
    void Work();

    const int threads_;
    const std::size_t queueLimit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace vela
