#include <cstdio>

#include "command_database.h"
#include "commands.h"
#include "cycle_notifier.h"
#include "notify/channel_file.h"
#include "stop_signal.h"

namespace vela {

int NotifyTestCommand(const CliOptions& options, const Console& console) {
    const std::vector<std::string> channels =
        options.notify.empty() ? RunnerChannels({}, console) : options.notify;
    if (channels.empty()) {
        PrintError(console, "no channel: give a URL or add one to " + ChannelFilePath());
        return kExitUsage;
    }
    DeliveryContext context = DefaultDeliveryContext();
    context.send.stopped = &StopRequested;
    const NotifyReport report = SendTestMessage(channels, context);
    for (const std::string& channel : report.delivered) {
        std::fprintf(console.out, "sent\t%s\n", channel.c_str());
    }
    std::fflush(console.out);
    return PrintNotifyReport(report, console) ? kExitOk : kExitSchemeFailed;
}

int NotifyFlushCommand(const CliOptions& options, const Console& console) {
    std::string error;
    const std::string database = CommandDatabasePath(options.databasePath, error);
    if (database.empty()) {
        PrintError(console, error);
        return kExitUsage;
    }
    Outbox outbox(Outbox::FolderBeside(database));
    DeliveryContext context = DefaultDeliveryContext();
    context.send.stopped = &StopRequested;
    const NotifyReport report = FlushOutbox(outbox, context);
    if (!options.quiet) {
        std::fprintf(console.out, "delivered %zu message(s)\n", report.delivered.size());
        std::fflush(console.out);
    }
    return PrintNotifyReport(report, console) ? kExitOk : kExitSchemeFailed;
}

}  // namespace vela
