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
    std::string link{};
    std::string schemeId{};
    std::string other{};
    std::string time{};
};

// The articles recorded since the last alert: how many, the latest few for the
// desktop notification, and every one of them for the notification channels (a
// cycle's worth: taken, and so emptied, at each alert). The worker adds, the GUI
// thread takes when it raises the alert.
class NewArticleDigest {
public:
    static constexpr std::size_t kNamed = 3;

    struct Snapshot {
        int count = 0;
        std::vector<NewArticle> latest;  // newest first, at most kNamed
        std::vector<NewArticle> all{};   // in the order recorded, oldest first
    };

    // `cleanedTitle` is the title as it went into the insert statement: SqlClean
    // doubled its apostrophes, and the digest keeps the stored form.
    void AddRecorded(const std::string& scheme, std::string_view cleanedTitle);
    // The same with the rest of the article; `cleanedOther` is cleaned as the title.
    void AddRecorded(const std::string& schemeId, const std::string& scheme,
                     std::string_view cleanedTitle, std::string_view link,
                     std::string_view cleanedOther, const std::string& time);
    // Returns what was gathered and starts afresh.
    Snapshot Take();

private:
    std::mutex mutex_;
    int count_ = 0;
    std::deque<NewArticle> latest_;  // newest first
    std::vector<NewArticle> all_;
};

}  // namespace vela
