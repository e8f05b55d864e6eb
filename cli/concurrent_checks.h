#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/monitor_timings.h"
#include "engine/scheme.h"
#include "engine/scheme_run.h"

namespace vela {

// How many schemes the runner checks at once.
struct CheckLimits {
    int jobs = 16;    // checks in flight, and pages or regions held, at most
    int perHost = 2;  // requests to one host name in flight, at most
};

// What the cycle has got to, for the progress display.
struct CheckCounts {
    int total = 0;
    int done = 0;      // checked and recorded
    int inFlight = 0;  // being fetched or matched
};

// A finished check: which scheme, and what its page gave.
struct FinishedCheck {
    std::size_t index;
    SchemeRun run;
};

// Checks many schemes at once: up to `jobs` threads each fetch a scheme's page and
// match it (CheckScheme, no database, no lock), never more than `perHost` of them
// to one host name, and hand the finished checks to the calling thread, which
// alone records: every check that finished while it was recording the last ones
// comes in one batch (one transaction), in the order they finished. A thread starts
// no new check while `jobs` checks are in flight or waiting to be recorded, so at
// most that many regions are held. With one job the schemes are checked and
// recorded strictly one after the other, in their order.
class ConcurrentChecks {
public:
    using Record = std::function<void(std::vector<FinishedCheck>& batch)>;
    using Progress = std::function<void(const CheckCounts& counts)>;

    // `stopped` is asked before each check and by the transfers in flight.
    ConcurrentChecks(CheckLimits limits, MonitorTimings timings, std::function<bool()> stopped);
    ConcurrentChecks(const ConcurrentChecks&) = delete;
    ConcurrentChecks& operator=(const ConcurrentChecks&) = delete;

    // Checks every scheme and calls `record` for each (on this thread), `progress`
    // whenever the counts change. Returns once all were recorded, or after Stop()
    // once every thread has ended (a transfer ends within about 100 ms of it).
    void Run(const std::vector<Scheme>& schemes, const Record& record, const Progress& progress);

    // Ends the run early; any thread may call it.
    void Stop();

private:
    void Work(const std::vector<Scheme>& schemes);
    // The next scheme a thread may check now, or npos. Called under the mutex.
    std::size_t Pick();
    CheckCounts Counts() const;

    const CheckLimits limits_;
    const MonitorTimings timings_;
    const std::function<bool()> stopped_;

    std::atomic<bool> ended_{false};  // Stop() was called: transfers end too
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::string> hosts_;  // of each scheme
    std::vector<bool> taken_;         // a thread has taken the scheme
    std::size_t firstUntaken_ = 0;
    std::vector<std::pair<std::string, int>> busyHosts_;  // requests in flight per host
    int held_ = 0;      // checks in flight or waiting to be recorded
    int inFlight_ = 0;  // checks being fetched or matched
    int done_ = 0;
    std::vector<FinishedCheck> finished_;  // waiting to be recorded, oldest first
};

}  // namespace vela
