#pragma once

#include <string>
#include <vector>

#include "engine/new_articles.h"

namespace vela {

class MainWindow;

// After a cycle with new articles: one message to every channel of notify.conf,
// through the outbox beside the database, sent off the GUI thread. While an
// earlier delivery still runs, the articles wait for it and go out right after.
// Failures become lines in 状态. On the GUI thread.
void DeliverToChannels(MainWindow& window, const std::vector<NewArticle>& recorded,
                       const std::string& databasePath);

// Program end: cuts a running delivery short (its messages stay in the outbox)
// and joins its thread.
void StopChannelDelivery();

}  // namespace vela
