#pragma once

#include <functional>
#include <thread>

namespace vela {

// Ctrl+C (SIGINT) and SIGTERM become a stop: a flag the run asks before each request
// and statement (and during a transfer), and a pipe that ends any wait at once.

// Installs the handlers. False when the pipe or a handler could not be set up.
bool InstallStopSignals();

// True once a stop signal arrived.
bool StopRequested();

// Waits `milliseconds` or until a stop signal arrives. True when the time ran
// out, false on a stop.
bool WaitUnlessStopped(long long milliseconds);

// After a stopped run: ends the process by the signal that stopped it, as a shell
// or systemd expect of a program that was asked to stop. Returns when no signal
// arrived.
void EndByStopSignal();

// Calls `onStop` once, on a thread of its own, as soon as a stop signal arrives
// (at once when one came already), for as long as the watcher lives: it wakes
// whatever waits on something other than the signal's pipe.
class StopWatcher {
public:
    explicit StopWatcher(std::function<void()> onStop);
    ~StopWatcher();
    StopWatcher(const StopWatcher&) = delete;
    StopWatcher& operator=(const StopWatcher&) = delete;

private:
    int endRead_ = -1;
    int endWrite_ = -1;
    std::thread thread_;
};

}  // namespace vela
