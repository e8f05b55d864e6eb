#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "notify_message.h"
#include "outbox.h"
#include "request_send.h"
#include "service_endpoints.h"

namespace vela {

struct DeliveryContext {
    ServiceEndpoints endpoints;
    SendOptions send;
    // Milliseconds since the epoch; a test sets its own clock.
    std::function<int64_t()> nowMs;
    // How long a message waits in the outbox before it is given up.
    std::chrono::milliseconds keep = std::chrono::hours(24);
    // How long to wait for another program delivering from the same outbox.
    int holdWaitMs = 60000;
};

// The context of the programs: endpoints and CA file from the environment, the
// system clock.
DeliveryContext DefaultDeliveryContext();

// What a delivery has to say: one line per failure (never a password or token),
// and for `notify test` one line per channel that worked.
struct NotifyReport {
    std::vector<std::string> errors;
    std::vector<std::string> delivered;  // the masked channels that took a message
    bool failed = false;
};

// False, with one line, for a channel URL no service takes.
bool CheckChannel(const std::string& channel, std::string& error);

// When `recorded` holds articles, one message for every channel goes into the
// outbox. A channel no service takes, or a message the outbox cannot keep, is an
// error line; such a message is sent once straight away instead (and lost if that
// fails).
NotifyReport EnqueueCycle(const std::vector<std::string>& channels,
                          const std::vector<NotifyArticle>& recorded, Outbox& outbox,
                          const DeliveryContext& context);

// EnqueueCycle, then everything in the outbox is delivered (FlushOutbox). The
// programs deliver what the database holds instead (stored_delivery.h).
NotifyReport DeliverCycle(const std::vector<std::string>& channels,
                          const std::vector<NotifyArticle>& recorded, Outbox& outbox,
                          const DeliveryContext& context);

// Delivers what waits in the outbox, oldest first per channel; the channels side
// by side, each on a thread of its own, so a channel that does not answer holds up
// only itself. A channel that fails keeps its messages (in order) for the next
// time; a message older than `keep` is given up with one error line.
NotifyReport FlushOutbox(Outbox& outbox, const DeliveryContext& context);

// The test message to each channel, straight, without the outbox.
NotifyReport SendTestMessage(const std::vector<std::string>& channels,
                             const DeliveryContext& context);

}  // namespace vela
