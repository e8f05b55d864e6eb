#include "concurrent_checks.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <unordered_map>
#include <utility>

#include "cli_options.h"
#include "fetch/url_parts.h"

namespace vela {
namespace {

static_assert(CliOptions{}.jobs == kDefaultCheckJobs, "run --jobs defaults as the checks do");

// A check's report: only the stop matters here; the recording thread reports the
// rest from the run's outcome.
class CheckReport : public RunReport {
public:
    CheckReport(const std::function<bool()>& stopped, const std::atomic<bool>& ended)
        : stopped_(stopped), ended_(ended) {}
    bool Stopped() override { return ended_ || stopped_(); }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int) override {}

private:
    const std::function<bool()>& stopped_;
    const std::atomic<bool>& ended_;
};

// A check needs little stack (the largest frame is the 64 KiB buffer of a
// conversion); the default of 8 MiB for each of up to 256 threads would reserve
// 2 GiB of address space, all that a 32-bit process has to spare.
constexpr std::size_t kCheckStackBytes = 512 * 1024;

// Threads running one body, each with a small stack, all joined before it goes.
class CheckThreads {
public:
    // Starts up to `count` threads; fewer when the system refuses more.
    CheckThreads(std::size_t count, std::function<void()> body) : body_(std::move(body)) {
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0) return;
        pthread_attr_setstacksize(&attributes, kCheckStackBytes);
        threads_.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            pthread_t thread;
            if (pthread_create(&thread, &attributes, &CheckThreads::Start, &body_) != 0) break;
            threads_.push_back(thread);
        }
        pthread_attr_destroy(&attributes);
    }
    ~CheckThreads() { JoinAll(); }
    CheckThreads(const CheckThreads&) = delete;
    CheckThreads& operator=(const CheckThreads&) = delete;

    std::size_t Started() const { return threads_.size(); }
    void JoinAll() {
        for (const pthread_t thread : threads_) pthread_join(thread, nullptr);
        threads_.clear();
    }

private:
    static void* Start(void* body) {
        (*static_cast<std::function<void()>*>(body))();
        return nullptr;
    }

    std::function<void()> body_;  // must not throw
    std::vector<pthread_t> threads_;
};

}  // namespace

ConcurrentChecks::ConcurrentChecks(CheckLimits limits, MonitorTimings timings,
                                   std::function<bool()> stopped)
    : limits_{std::max(1, limits.jobs), std::max(1, limits.perHost)},
      timings_(timings),
      stopped_(std::move(stopped)) {}

void ConcurrentChecks::Stop() {
    {
        std::lock_guard lock(mutex_);
        StopLocked();
    }
    workReady_.notify_all();
    collect_.notify_all();
}

void ConcurrentChecks::StopLocked() {
    ended_ = true;
    stopping_ = true;
}

CheckCounts ConcurrentChecks::Counts() const {
    return {static_cast<int>(hostOf_.size()), done_, inFlight_};
}

bool ConcurrentChecks::CanTake() const { return held_ < limits_.jobs && !ready_.empty(); }

std::size_t ConcurrentChecks::Take() {
    const std::size_t index = ready_.top();
    ready_.pop();
    HostQueue& host = hosts_[hostOf_[index]];
    ++host.next;
    ++host.busy;
    if (host.busy < limits_.perHost && host.next < host.schemes.size()) {
        ready_.push(host.schemes[host.next]);
    }
    --untaken_;
    ++held_;
    ++inFlight_;
    return index;
}

void ConcurrentChecks::Release(std::size_t hostIndex) {
    HostQueue& host = hosts_[hostIndex];
    // A host at its limit is not in ready_; one below it is, while it has schemes.
    if (host.busy-- == limits_.perHost && host.next < host.schemes.size()) {
        ready_.push(host.schemes[host.next]);
    }
    --inFlight_;
}

void ConcurrentChecks::Prepare(const std::vector<Scheme>& schemes) {
    std::lock_guard lock(mutex_);
    hostOf_.clear();
    hosts_.clear();
    ready_ = {};
    std::unordered_map<std::string, std::size_t> places;
    for (std::size_t i = 0; i < schemes.size(); ++i) {
        const auto [place, added] = places.try_emplace(UrlHost(schemes[i].url), hosts_.size());
        if (added) {
            hosts_.emplace_back();
            ready_.push(i);
        }
        hostOf_.push_back(place->second);
        hosts_[place->second].schemes.push_back(i);
    }
    untaken_ = schemes.size();
    held_ = inFlight_ = done_ = 0;
    finished_.clear();
    failure_ = nullptr;
}

std::size_t ConcurrentChecks::UsefulThreads() const {
    std::size_t useful = 0;
    for (const HostQueue& host : hosts_) {
        useful += std::min(host.schemes.size(), static_cast<std::size_t>(limits_.perHost));
    }
    return std::min(useful, static_cast<std::size_t>(limits_.jobs));
}

void ConcurrentChecks::Work(const std::vector<Scheme>& schemes) {
    std::unique_lock lock(mutex_);
    for (;;) {
        workReady_.wait(lock, [&] { return stopping_ || untaken_ == 0 || CanTake(); });
        if (stopping_ || untaken_ == 0) return;
        const std::size_t index = Take();
        // Each thread that takes a check wakes the next while more may start.
        if (CanTake()) workReady_.notify_one();
        lock.unlock();
        collect_.notify_one();
        SchemeRun run;
        std::exception_ptr failure;
        try {
            CheckReport report(stopped_, ended_);
            run = CheckScheme(schemes[index], timings_, report);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure) {
            if (!failure_) failure_ = failure;
            StopLocked();
            workReady_.notify_all();
            collect_.notify_all();
            return;
        }
        Release(hostOf_[index]);
        finished_.push_back({index, std::move(run)});
        collect_.notify_one();
    }
}

CheckCounts ConcurrentChecks::Collect(const Record& record, const Progress& progress) {
    const int total = static_cast<int>(hostOf_.size());
    CheckCounts shown{-1, -1, -1};
    std::unique_lock lock(mutex_);
    while (!stopping_ && done_ < total) {
        const CheckCounts now = Counts();
        if (now.done != shown.done || now.inFlight != shown.inFlight) {
            shown = now;
            lock.unlock();
            progress(now);
            lock.lock();
            continue;
        }
        if (finished_.empty()) {
            collect_.wait(lock);
            continue;
        }
        std::vector<FinishedCheck> batch = std::move(finished_);
        finished_.clear();
        lock.unlock();
        record(batch);
        const int recorded = static_cast<int>(batch.size());
        batch.clear();  // the regions go before another check may start
        lock.lock();
        held_ -= recorded;
        done_ += recorded;
        for (int i = 0; i < recorded; ++i) workReady_.notify_one();
    }
    return shown;
}

void ConcurrentChecks::RunInline(const std::vector<Scheme>& schemes, const Record& record,
                                 const Progress& progress) {
    for (std::size_t index = 0; index < schemes.size(); ++index) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            inFlight_ = 1;
        }
        progress(Counts());
        CheckReport report(stopped_, ended_);
        std::vector<FinishedCheck> batch;
        batch.push_back({index, CheckScheme(schemes[index], timings_, report)});
        record(batch);
        {
            std::lock_guard lock(mutex_);
            inFlight_ = 0;
            ++done_;
        }
        progress(Counts());
    }
}

void ConcurrentChecks::Run(const std::vector<Scheme>& schemes, const Record& record,
                           const Progress& progress) {
    Prepare(schemes);
    if (schemes.empty()) return;
    CheckThreads threads(UsefulThreads(), [&] { Work(schemes); });
    if (threads.Started() == 0) {
        RunInline(schemes, record, progress);
        return;
    }
    std::exception_ptr failure;
    CheckCounts shown;
    try {
        shown = Collect(record, progress);
    } catch (...) {
        failure = std::current_exception();
    }
    CheckCounts last;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        // After a failure the transfers in flight end too.
        if (failure) ended_ = true;
        last = Counts();
    }
    workReady_.notify_all();
    threads.JoinAll();
    if (!failure) failure = failure_;
    if (failure) std::rethrow_exception(failure);
    if (last.done != shown.done || last.inFlight != shown.inFlight) progress(last);
}

}  // namespace vela
