#include "concurrent_checks.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "fetch/url_parts.h"

namespace vela {
namespace {

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

}  // namespace

ConcurrentChecks::ConcurrentChecks(CheckLimits limits, MonitorTimings timings,
                                   std::function<bool()> stopped)
    : limits_{std::max(1, limits.jobs), std::max(1, limits.perHost)},
      timings_(timings),
      stopped_(std::move(stopped)) {}

void ConcurrentChecks::Stop() {
    ended_ = true;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

CheckCounts ConcurrentChecks::Counts() const {
    return {static_cast<int>(hosts_.size()), done_, inFlight_};
}

std::size_t ConcurrentChecks::Pick() {
    if (held_ >= limits_.jobs) return std::string::npos;
    while (firstUntaken_ < taken_.size() && taken_[firstUntaken_]) ++firstUntaken_;
    for (std::size_t i = firstUntaken_; i < taken_.size(); ++i) {
        if (taken_[i]) continue;
        const auto busy = std::find_if(busyHosts_.begin(), busyHosts_.end(),
                                       [&](const auto& host) { return host.first == hosts_[i]; });
        if (busy == busyHosts_.end() || busy->second < limits_.perHost) return i;
    }
    return std::string::npos;
}

void ConcurrentChecks::Work(const std::vector<Scheme>& schemes) {
    for (;;) {
        std::size_t index;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stopping_ || firstUntaken_ >= taken_.size() ||
                       (index = Pick()) != std::string::npos;
            });
            if (stopping_ || firstUntaken_ >= taken_.size()) return;
            taken_[index] = true;
            const auto busy =
                std::find_if(busyHosts_.begin(), busyHosts_.end(),
                             [&](const auto& host) { return host.first == hosts_[index]; });
            if (busy == busyHosts_.end()) {
                busyHosts_.emplace_back(hosts_[index], 1);
            } else {
                ++busy->second;
            }
            ++held_;
            ++inFlight_;
        }
        changed_.notify_all();
        CheckReport report(stopped_, ended_);
        SchemeRun run = CheckScheme(schemes[index], timings_, report);
        {
            std::lock_guard lock(mutex_);
            const auto busy =
                std::find_if(busyHosts_.begin(), busyHosts_.end(),
                             [&](const auto& host) { return host.first == hosts_[index]; });
            if (--busy->second == 0) busyHosts_.erase(busy);
            --inFlight_;
            finished_.push_back({index, std::move(run)});
        }
        changed_.notify_all();
    }
}

void ConcurrentChecks::Run(const std::vector<Scheme>& schemes, const Record& record,
                           const Progress& progress) {
    {
        std::lock_guard lock(mutex_);
        hosts_.clear();
        for (const Scheme& scheme : schemes) hosts_.push_back(UrlHost(scheme.url));
        taken_.assign(schemes.size(), false);
        firstUntaken_ = 0;
        busyHosts_.clear();
        held_ = inFlight_ = done_ = 0;
        finished_.clear();
    }
    if (schemes.empty()) return;
    const std::size_t threads = std::min(schemes.size(), static_cast<std::size_t>(limits_.jobs));
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) workers.emplace_back([&] { Work(schemes); });

    CheckCounts shown{-1, -1, -1};
    std::unique_lock lock(mutex_);
    while (!stopping_ && done_ < static_cast<int>(schemes.size())) {
        const CheckCounts now = Counts();
        if (now.done != shown.done || now.inFlight != shown.inFlight) {
            shown = now;
            lock.unlock();
            progress(now);
            lock.lock();
            continue;
        }
        if (finished_.empty()) {
            changed_.wait(lock);
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
        changed_.notify_all();
    }
    stopping_ = true;
    const CheckCounts last = Counts();
    lock.unlock();
    changed_.notify_all();
    for (std::thread& worker : workers) worker.join();
    if (last.done != shown.done || last.inFlight != shown.inFlight) progress(last);
}

}  // namespace vela
