#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "web_exchange.h"

namespace vela {

// What an answer was made under: the database generation, the board version and,
// for a page that says how long ago things happened, the step of the clock.
struct AnswerVersion {
    uint64_t generation = 0;
    uint64_t board = 0;
    uint64_t clockStep = 0;
    bool operator==(const AnswerVersion&) const = default;
};

// The answers the site made last, by request, each with the version it was made
// under: feed readers and browsers ask for the same few addresses again and
// again, and the answer stays the same until the version moves on. Bounded: at
// most kEntries answers, none above kLargest bytes; when it is full it starts
// afresh.
class AnswerCache {
public:
    static constexpr std::size_t kEntries = 64;
    static constexpr std::size_t kLargest = 512 * 1024;

    bool Find(const std::string& key, const AnswerVersion& version, WebResponse& response,
              std::optional<std::time_t>& lastModified) const;
    void Store(const std::string& key, const AnswerVersion& version, const WebResponse& response,
               const std::optional<std::time_t>& lastModified);

private:
    struct Entry {
        AnswerVersion version;
        WebResponse response;
        std::optional<std::time_t> lastModified;
    };
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace vela
