#include "cycle_notifier.h"

#include <sys/stat.h>

#include "console_text.h"
#include "engine/record_plan.h"
#include "engine/scheme.h"
#include "notify/channel_file.h"
#include "stop_signal.h"
#include "store/sql_clean.h"

namespace vela {
NotifyArticle StoredArticle(const Scheme& scheme, const ArticleInsert& article,
                            const std::string& time) {
    return {ConsoleText(scheme.id),
            ConsoleText(scheme.name),
            ConsoleText(StoredText(article.title)),
            ConsoleText(article.link),
            ConsoleText(StoredText(article.other)),
            ConsoleText(time)};
}

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

CycleNotifier::CycleNotifier(std::vector<std::string> extraChannels, std::string databasePath,
                             const Console& console)
    : extra_(std::move(extraChannels)), databasePath_(std::move(databasePath)), console_(console) {}

void CycleNotifier::Recorded(const Scheme& scheme, const ArticleInsert& article,
                             const std::string& time) {
    articles_.push_back(StoredArticle(scheme, article, time));
}

bool CycleNotifier::AfterCycle() {
    std::vector<NotifyArticle> articles = std::move(articles_);
    articles_.clear();
    const std::vector<std::string> channels = RunnerChannels(extra_, console_);
    Outbox outbox(Outbox::FolderBeside(databasePath_));
    DeliveryContext context = DefaultDeliveryContext();
    context.send.stopped = &StopRequested;
    return PrintNotifyReport(DeliverCycle(channels, articles, outbox, context), console_);
}

}  // namespace vela
