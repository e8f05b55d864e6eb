#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "desktop_notification.h"

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
    void AddRecorded(const std::string& scheme, const std::string& cleanedTitle);
    // Returns what was gathered and starts afresh.
    Snapshot Take();

private:
    std::mutex mutex_;
    int count_ = 0;
    std::deque<NewArticle> latest_;  // newest first
};

// The notification of a cycle's new articles: the count in the title, and up to
// three titles with their schemes, one per line, newest first (the top of 最新文章).
// Page texts may be hostile: markup characters are shown in their full-width forms
// (notification services read the body as markup), control characters become
// blanks, and long titles and names are cut at a character boundary.
NotificationRequest NewArticleNotification(const NewArticleDigest::Snapshot& news);

}  // namespace vela
