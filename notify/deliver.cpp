#include "deliver.h"

#include <sys/stat.h>

#include <map>
#include <thread>

#include "channel_secrets.h"
#include "channel_url.h"
#include "service_table.h"

namespace vela {
namespace {

struct ChannelOutcome {
    std::vector<std::string> errors;
    int delivered = 0;
    bool failed = false;
};

bool ParseChecked(const std::string& channel, ChannelUrl& url, const Service*& service,
                  std::string& error) {
    if (!ParseChannelUrl(channel, url, error)) return false;
    service = FindService(url.scheme);
    if (!service) {
        error = "unknown channel type '" + url.scheme + "' (known: " + KnownSchemes() + ")";
        return false;
    }
    return service->check(url, error);
}

// Sends the requests of `message` from `done` on; `progress` is told after each
// one the channel took. The error names the channel, masked.
bool SendMessage(const std::string& channel, const NotifyMessage& message, std::size_t& done,
                 const DeliveryContext& context, const std::function<void()>& progress,
                 std::string& error) {
    ChannelUrl url;
    const Service* service = nullptr;
    if (!ParseChecked(channel, url, service, error)) {
        error = MaskedChannelText(channel) + ": " + error;
        return false;
    }
    const ComposeContext compose{context.endpoints, context.nowMs()};
    const std::vector<ServiceRequest> requests = service->compose(url, message, compose);
    while (done < requests.size()) {
        const SendResult result = SendRequest(requests[done], context.send);
        if (!result.ok) {
            error = MaskedChannel(url) + ": " + HideSecrets(result.error, url);
            return false;
        }
        ++done;
        if (done < requests.size() && progress) progress();
    }
    return true;
}

// One channel's queue, oldest first; stops at the first message it does not take.
ChannelOutcome DeliverQueue(Outbox& outbox, std::vector<OutboxEntry>& queue,
                            const DeliveryContext& context) {
    ChannelOutcome outcome;
    for (OutboxEntry& entry : queue) {
        std::string error;
        const auto keepProgress = [&] {
            std::string ignored;
            // Should this write fail, the parts already taken are sent again later.
            outbox.Update(entry, ignored);
        };
        if (!SendMessage(entry.channel, entry.message, entry.done, context, keepProgress, error)) {
            outcome.errors.push_back(error + " (kept in the outbox)");
            outcome.failed = true;
            return outcome;
        }
        if (!outbox.Remove(entry.name)) {
            outcome.errors.push_back("cannot remove a delivered message from the outbox " +
                                     outbox.folder());
            outcome.failed = true;
        }
        ++outcome.delivered;
    }
    return outcome;
}

}  // namespace

DeliveryContext DefaultDeliveryContext() {
    DeliveryContext context;
    context.endpoints = EndpointsFromEnvironment();
    context.send = SendOptionsFromEnvironment();
    context.nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    return context;
}

bool CheckChannel(const std::string& channel, std::string& error) {
    ChannelUrl url;
    const Service* service = nullptr;
    return ParseChecked(channel, url, service, error);
}

NotifyReport EnqueueCycle(const std::vector<std::string>& channels,
                          const std::vector<NotifyArticle>& recorded, Outbox& outbox,
                          const DeliveryContext& context) {
    NotifyReport report;
    std::vector<std::string> direct;  // channels whose message the outbox could not keep
    if (!recorded.empty()) {
        const NotifyMessage message = CycleMessage(recorded);
        for (const std::string& channel : channels) {
            std::string error;
            if (!CheckChannel(channel, error)) {
                report.errors.push_back(MaskedChannelText(channel) + ": " + error);
                report.failed = true;
                continue;
            }
            OutboxEntry entry;
            entry.createdMs = context.nowMs();
            entry.channel = channel;
            entry.message = message;
            if (!outbox.Add(entry, error)) {
                report.errors.push_back(error);
                report.failed = true;
                direct.push_back(channel);
            }
        }
        // Still worth a try, without the safety net.
        for (const std::string& channel : direct) {
            std::size_t done = 0;
            std::string error;
            if (!SendMessage(channel, message, done, context, {}, error)) {
                report.errors.push_back(error + " (lost: the outbox could not keep it)");
            } else {
                report.delivered.push_back(MaskedChannelText(channel));
            }
        }
    }
    return report;
}

NotifyReport DeliverCycle(const std::vector<std::string>& channels,
                          const std::vector<NotifyArticle>& recorded, Outbox& outbox,
                          const DeliveryContext& context) {
    NotifyReport report = EnqueueCycle(channels, recorded, outbox, context);
    NotifyReport flushed = FlushOutbox(outbox, context);
    report.errors.insert(report.errors.end(), flushed.errors.begin(), flushed.errors.end());
    report.delivered.insert(report.delivered.end(), flushed.delivered.begin(),
                            flushed.delivered.end());
    report.failed = report.failed || flushed.failed;
    return report;
}

NotifyReport FlushOutbox(Outbox& outbox, const DeliveryContext& context) {
    NotifyReport report;
    // No folder: nothing was ever kept, and nothing is made.
    struct stat st {};
    if (::stat(outbox.folder().c_str(), &st) != 0) return report;
    const Outbox::Hold hold(outbox, context.holdWaitMs, context.send.stopped);
    if (!hold.held()) {
        report.errors.push_back("the outbox " + outbox.folder() +
                                " is busy or cannot be opened; its messages wait for the next "
                                "delivery");
        report.failed = true;
        return report;
    }
    std::vector<std::string> broken;
    std::vector<OutboxEntry> entries = outbox.Pending(broken);
    for (const std::string& name : broken) {
        report.errors.push_back("dropped an unreadable outbox file " + outbox.folder() + "/" +
                                name);
        report.failed = true;
        outbox.Remove(name);
    }
    // A message handed over from the stored articles carries its channel's mark:
    // it must be in the marks file before the message leaves the outbox.
    HandOverMarks marks;
    std::string error;
    if (outbox.ReadMarks(marks, error) && !CatchUpMarks(outbox, entries, marks, error)) {
        report.errors.push_back(error);
        report.failed = true;
    }
    const int64_t now = context.nowMs();
    // The queues in the order of their oldest message.
    std::vector<std::vector<OutboxEntry>> queues;
    std::map<std::string, std::size_t> queueOf;
    for (OutboxEntry& entry : entries) {
        if (now - entry.createdMs > context.keep.count()) {
            report.errors.push_back("gave up a message for " + MaskedChannelText(entry.channel) +
                                    ": not delivered within " +
                                    std::to_string(context.keep.count() / 3600000) + " hours");
            report.failed = true;
            outbox.Remove(entry.name);
            continue;
        }
        auto [it, added] = queueOf.emplace(entry.channel, queues.size());
        if (added) queues.emplace_back();
        queues[it->second].push_back(std::move(entry));
    }
    std::vector<ChannelOutcome> outcomes(queues.size());
    {
        std::vector<std::thread> threads;
        threads.reserve(queues.size());
        for (std::size_t i = 0; i < queues.size(); ++i) {
            threads.emplace_back(
                [&, i] { outcomes[i] = DeliverQueue(outbox, queues[i], context); });
        }
        for (std::thread& thread : threads) thread.join();
    }
    for (std::size_t i = 0; i < queues.size(); ++i) {
        const ChannelOutcome& outcome = outcomes[i];
        report.errors.insert(report.errors.end(), outcome.errors.begin(), outcome.errors.end());
        report.failed = report.failed || outcome.failed;
        for (int n = 0; n < outcome.delivered; ++n) {
            report.delivered.push_back(MaskedChannelText(queues[i].front().channel));
        }
    }
    return report;
}

NotifyReport SendTestMessage(const std::vector<std::string>& channels,
                             const DeliveryContext& context) {
    NotifyReport report;
    const NotifyMessage message = TestMessage();
    std::vector<std::string> errors(channels.size());
    std::vector<char> ok(channels.size(), 0);
    {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            threads.emplace_back([&, i] {
                std::size_t done = 0;
                ok[i] = SendMessage(channels[i], message, done, context, {}, errors[i]);
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (ok[i]) {
            report.delivered.push_back(MaskedChannelText(channels[i]));
        } else {
            report.errors.push_back(errors[i]);
            report.failed = true;
        }
    }
    return report;
}

}  // namespace vela
