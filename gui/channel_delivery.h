#pragma once

#include <string>

namespace vela {

class Database;
class MainWindow;

// The window's side of the notification channels of notify.conf. What reaches
// them is read from the database (notify/stored_delivery.h): every article stored
// after each channel's mark, whoever stored it, so nothing waits in memory and
// closing the window loses nothing. The work runs off the GUI thread; failures
// become lines in 状态. On the GUI thread.

// Before a cycle: the channels read and checked. The line naming the first bad
// channel (masked, UTF-8), and the cycle must not start; otherwise empty. The
// highest article id now is kept as the start of a channel seen for the first
// time; when one has no mark yet, or at `monitoringStarts` (which also sends
// what an earlier session left), a delivery starts.
std::string PrepareChannelDelivery(MainWindow& window, Database& db, bool monitoringStarts);

// After a cycle with new articles: one message to every channel with the
// articles stored after its mark, through the outbox beside the database. While
// a delivery still runs, another follows it.
void DeliverToChannels(MainWindow& window, const std::string& databasePath);

// Program end: cuts a running delivery short (its messages stay in the outbox,
// the articles not yet handed over stay after their marks) and joins its thread.
void StopChannelDelivery();

}  // namespace vela
