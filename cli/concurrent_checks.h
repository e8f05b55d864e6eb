#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <queue>
#include <string>
#include <vector>

#include "engine/monitor_timings.h"
#include "engine/scheme.h"
#include "engine/scheme_run.h"

namespace vela {

// Checks in flight at once unless told otherwise: a cycle over 200 schemes on
// their own hosts takes about one round trip, while the pages held stay small
// (about 85 KiB a check with pages of 64 KiB: 1,000 schemes within 40 MiB). The
// per-host limit is what spares each site.
inline constexpr int kDefaultCheckJobs = 200;

// How many schemes the runner checks at once.
struct CheckLimits {
    int jobs = kDefaultCheckJobs;  // checks in flight, and pages or regions held, at most
    int perHost = 2;               // requests to one host name in flight, at most
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

// Checks many schemes at once: up to `jobs` threads (small stacks, no more than the
// host limits let work at once) each fetch a scheme's page and match it
// (CheckScheme, no database, no lock), never more than `perHost` of them to one
// host name, and hand the finished checks to the calling thread, which alone
// records: every check that finished while it was recording the last ones comes in
// one batch (one transaction), in the order they finished. A thread starts no new
// check while `jobs` checks are in flight or waiting to be recorded, so at most that
// many regions are held. The next check is always the lowest-placed scheme whose
// host may take one more request; with one job the schemes are checked and recorded
// strictly one after the other, in their order.
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
    // An exception from `record`, `progress` or a check stops the run as Stop()
    // does and is rethrown once every thread has ended: no thread outlives Run.
    void Run(const std::vector<Scheme>& schemes, const Record& record, const Progress& progress);

    // Ends the run early; any thread may call it.
    void Stop();

private:
    // The schemes of one host name, in their order.
    struct HostQueue {
        std::vector<std::size_t> schemes;
        std::size_t next = 0;  // the first not taken
        int busy = 0;          // requests in flight
    };

    void Prepare(const std::vector<Scheme>& schemes);
    // How many threads can work at once: no more than `jobs`, nor than the hosts'
    // limits allow.
    std::size_t UsefulThreads() const;
    void Work(const std::vector<Scheme>& schemes);
    // Hands the checks to `record` until all are recorded or the run stops; returns
    // the counts `progress` was last given.
    CheckCounts Collect(const Record& record, const Progress& progress);
    // Checks and records one scheme after the other on this thread, in their order:
    // when not a single thread could be started.
    void RunInline(const std::vector<Scheme>& schemes, const Record& record,
                   const Progress& progress);
    // Called under the mutex.
    bool CanTake() const;
    std::size_t Take();
    void Release(std::size_t host);
    void StopLocked();
    CheckCounts Counts() const;

    const CheckLimits limits_;
    const MonitorTimings timings_;
    const std::function<bool()> stopped_;

    std::atomic<bool> ended_{false};  // Stop() was called: transfers end too
    std::mutex mutex_;
    std::condition_variable workReady_;  // for the threads: a check may start, or the end
    std::condition_variable collect_;    // for the recording thread: the counts changed
    bool stopping_ = false;
    std::vector<std::size_t> hostOf_;  // each scheme's place in hosts_
    std::vector<HostQueue> hosts_;
    // The next scheme of each host that may take one more request, lowest first.
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready_;
    std::size_t untaken_ = 0;
    int held_ = 0;      // checks in flight or waiting to be recorded
    int inFlight_ = 0;  // checks being fetched or matched
    int done_ = 0;
    std::vector<FinishedCheck> finished_;  // waiting to be recorded, oldest first
    std::exception_ptr failure_;           // the first exception of a check
};

}  // namespace vela
