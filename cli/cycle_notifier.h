#pragma once

#include <string>
#include <vector>

#include "console.h"
#include "notify/deliver.h"

namespace vela {

struct ArticleInsert;
struct Scheme;

// The article as the channels show it: UTF-8, the title and other text as stored
// (StoredText: a recorded article's title and other are in their cleaned SQL form).
NotifyArticle StoredArticle(const Scheme& scheme, const ArticleInsert& article,
                            const std::string& time);

// The runner's channels: notify.conf (read anew for every cycle, so an edit takes
// effect in a long `run --every`) and the --notify URLs. Warns once when the file
// can be read by other users.
std::vector<std::string> RunnerChannels(const std::vector<std::string>& extra,
                                        const Console& console);

// Prints a delivery's error lines; false when a delivery failed.
bool PrintNotifyReport(const NotifyReport& report, const Console& console);

// The articles a cycle stored, and their delivery once it is over: into the outbox
// beside the database, then to every channel.
class CycleNotifier {
public:
    CycleNotifier(std::vector<std::string> extraChannels, std::string databasePath,
                  const Console& console);

    // Called as each article is stored.
    void Recorded(const Scheme& scheme, const ArticleInsert& article, const std::string& time);
    // Delivers the cycle's articles and whatever waits in the outbox. False when a
    // delivery failed.
    bool AfterCycle();

private:
    std::vector<std::string> extra_;
    std::string databasePath_;
    const Console& console_;
    std::vector<NotifyArticle> articles_;
};

}  // namespace vela
