#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

// One article recorded by a monitoring run, as stored: GBK texts.
struct NewArticle {
    std::string scheme;
    std::string title;
};

// The articles recorded since the last alert: how many, and the latest few for the
// desktop notification. Bounded however many a cycle records. The worker adds, the
// GUI thread takes when it raises the alert.
class NewArticleDigest {
public:
    static constexpr std::size_t kNamed = 3;

    struct Snapshot {
        int count = 0;
        std::vector<NewArticle> latest;  // newest first, at most kNamed
    };

    // `cleanedTitle` is the title as it went into the insert statement: SqlClean
    // doubled its apostrophes, and the digest keeps the stored form.
    void AddRecorded(const std::string& scheme, std::string_view cleanedTitle);
    // Returns what was gathered and starts afresh.
    Snapshot Take();

private:
    std::mutex mutex_;
    int count_ = 0;
    std::deque<NewArticle> latest_;  // newest first
};

}  // namespace vela
