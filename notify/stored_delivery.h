#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "deliver.h"

namespace vela {

class Database;

// Delivery starting from the database: every article stored (an `info` row)
// reaches every channel at least once, whichever program stored it and whatever
// was killed when. The outbox folder keeps, per channel, the mark of the
// articles already handed over (`HandOverMark`); a hand-over reads the rows after
// it, puts one message per channel into the outbox, then moves the marks. The
// window and the runner hand over under the outbox's lock, so they share the
// marks and never hand the same article over twice.
//
// A channel seen for the first time starts at a floor: the highest id when the
// cycle began, so the cycle's own articles reach it and the history does not.
// A program without channels keeps no marks; a channel added later starts at
// its own first cycle.

// The highest `info` id (0 for an empty table); false when it cannot be read.
bool HighestArticleId(Database& db, int64_t& id);

// True when every channel has a mark already (a missing marks file has none).
bool EveryChannelMarked(const std::vector<std::string>& channels, const std::string& databasePath);

// Checks every channel; the first that no service takes, as one line naming it
// masked, as a delivery names it. Empty when all are good.
std::string BadChannel(const std::vector<std::string>& channels);

// Hands the stored articles over to the outbox: for each channel the rows after
// its mark (channels without one start at `floor`; a negative floor is the
// highest id now), as one message per channel and at most 1,000 articles each;
// then the marks. Takes the outbox's lock (`context.holdWaitMs`). A channel no
// service takes keeps its mark, so its articles wait until it is mended.
NotifyReport HandOverStored(const std::vector<std::string>& channels,
                            const std::string& databasePath, int64_t floor,
                            const DeliveryContext& context);

// HandOverStored, then every message in the outbox delivered (FlushOutbox).
NotifyReport DeliverStored(const std::vector<std::string>& channels,
                           const std::string& databasePath, int64_t floor,
                           const DeliveryContext& context);

// The digest of an article row kept in a mark (planid, title, url, addtime).
std::string ArticleRowDigest(const std::vector<std::string>& cells);

// A stored time text ("2016-9-9 8:5 7", local time) in seconds since the epoch;
// false when it holds no such time.
bool StoredTimeSeconds(const std::string& text, int64_t& seconds);

}  // namespace vela
