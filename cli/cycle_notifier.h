#pragma once

#include <string>
#include <vector>

#include "console.h"
#include "notify/deliver.h"

namespace vela {

class Database;
struct ArticleInsert;
struct Scheme;

// The runner's channels: notify.conf (read anew for every cycle, so an edit takes
// effect in a long `run --every`) and the --notify URLs. Warns once when the file
// can be read by other users.
std::vector<std::string> RunnerChannels(const std::vector<std::string>& extra,
                                        const Console& console);

// Prints a delivery's error lines; false when a delivery failed.
bool PrintNotifyReport(const NotifyReport& report, const Console& console);

// The delivery of a cycle's articles to the channels, from the database: the
// runner hands over every article stored after each channel's mark (whoever
// stored it, a killed run included) and then delivers the outbox beside the
// database (notify/stored_delivery.h).
class CycleNotifier {
public:
    CycleNotifier(std::vector<std::string> extraChannels, Database& db, const Console& console);

    // Before a cycle fetches anything: the channels read anew and each checked.
    // The line naming the first bad channel, masked; the cycle must not run, since
    // its articles could reach no such channel. Otherwise empty, and a channel
    // seen for the first time is given its mark at the newest article now.
    std::string BeforeCycle();
    // Delivers what was stored after the marks, and whatever waits in the outbox.
    // False when a delivery failed.
    bool AfterCycle();

private:
    DeliveryContext Context() const;

    std::vector<std::string> extra_;
    Database& db_;
    const Console& console_;
    std::vector<std::string> channels_;
    int64_t floor_ = -1;
};

}  // namespace vela
