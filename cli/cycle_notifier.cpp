#include "cycle_notifier.h"

#include <sys/stat.h>

#include "notify/channel_file.h"
#include "notify/stored_delivery.h"
#include "stop_signal.h"
#include "store/database.h"

namespace vela {
std::vector<std::string> RunnerChannels(const std::vector<std::string>& extra,
                                        const Console& console) {
    static bool warned = false;
    const std::string path = ChannelFilePath();
    ChannelFile file = ReadChannelFile(path);
    if (!file.error.empty() && !warned) PrintError(console, file.error);
    if (file.readableByOthers && !warned) {
        PrintError(console, "warning: " + path +
                                " can be read by other users and holds passwords and tokens "
                                "(chmod 600 it)");
    }
    warned = warned || file.readableByOthers || !file.error.empty();
    std::vector<std::string> channels = std::move(file.channels);
    channels.insert(channels.end(), extra.begin(), extra.end());
    return channels;
}

bool PrintNotifyReport(const NotifyReport& report, const Console& console) {
    for (const std::string& error : report.errors) PrintError(console, "notify: " + error);
    return !report.failed;
}

CycleNotifier::CycleNotifier(std::vector<std::string> extraChannels, Database& db,
                             const Console& console)
    : extra_(std::move(extraChannels)), db_(db), console_(console) {}

DeliveryContext CycleNotifier::Context() const {
    DeliveryContext context = DefaultDeliveryContext();
    context.send.stopped = &StopRequested;
    return context;
}

std::string CycleNotifier::BeforeCycle() {
    channels_ = RunnerChannels(extra_, console_);
    const std::string bad = BadChannel(channels_);
    if (!bad.empty()) return "notify: " + bad + "; nothing was fetched";
    if (!HighestArticleId(db_, floor_)) floor_ = -1;
    // Only a channel without a mark needs one before the cycle: kept on disk, so
    // that a run killed during the cycle still leaves its articles to the next.
    if (!EveryChannelMarked(channels_, db_.Path())) {
        PrintNotifyReport(HandOverStored(channels_, db_.Path(), floor_, Context()), console_);
    }
    return {};
}

bool CycleNotifier::AfterCycle() {
    return PrintNotifyReport(DeliverStored(channels_, db_.Path(), floor_, Context()), console_);
}

}  // namespace vela
