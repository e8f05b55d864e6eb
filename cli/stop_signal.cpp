#include "stop_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>

namespace vela {
namespace {

volatile std::sig_atomic_t g_signal = 0;
int g_wakeRead = -1;
int g_wakeWrite = -1;

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    g_signal = signal;
    if (g_wakeWrite >= 0) {
        char byte = 1;
        // A full pipe already wakes every wait.
        [[maybe_unused]] ssize_t n = ::write(g_wakeWrite, &byte, 1);
    }
    errno = saved;
}

}  // namespace

bool InstallStopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    g_wakeRead = fds[0];
    g_wakeWrite = fds[1];
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

bool StopRequested() { return g_signal != 0; }

bool WaitUnlessStopped(long long milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!StopRequested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        if (g_wakeRead < 0) {
            ::usleep(static_cast<useconds_t>(std::min<long long>(left, 100) * 1000));
            continue;
        }
        pollfd wake{g_wakeRead, POLLIN, 0};
        // The pipe is only ever readable after a signal, which the loop then sees.
        ::poll(&wake, 1, static_cast<int>(std::min<long long>(left, 60'000)));
    }
    return false;
}

StopWatcher::StopWatcher(std::function<void()> onStop) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        // Without a pipe to end it, the watcher can only look once.
        if (StopRequested()) onStop();
        return;
    }
    endRead_ = fds[0];
    endWrite_ = fds[1];
    thread_ = std::thread([this, onStop = std::move(onStop)] {
        for (;;) {
            if (StopRequested()) {
                onStop();
                return;
            }
            pollfd fds[2] = {{endRead_, POLLIN, 0}, {g_wakeRead, POLLIN, 0}};
            const int ready = ::poll(fds, g_wakeRead >= 0 ? 2 : 1, g_wakeRead >= 0 ? -1 : 100);
            if (ready > 0 && fds[0].revents) return;
        }
    });
}

StopWatcher::~StopWatcher() {
    if (thread_.joinable()) {
        const char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(endWrite_, &byte, 1);
        thread_.join();
    }
    if (endRead_ >= 0) ::close(endRead_);
    if (endWrite_ >= 0) ::close(endWrite_);
}

void EndByStopSignal() {
    const int signal = g_signal;
    if (signal == 0) return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

}  // namespace vela
