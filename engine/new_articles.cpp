#include "new_articles.h"

#include "store/sql_clean.h"

namespace vela {
void NewArticleDigest::AddRecorded(const std::string& scheme, std::string_view cleanedTitle) {
    std::lock_guard lock(mutex_);
    ++count_;
    latest_.push_front({scheme, StoredText(cleanedTitle)});
    if (latest_.size() > kNamed) latest_.pop_back();
}

NewArticleDigest::Snapshot NewArticleDigest::Take() {
    std::lock_guard lock(mutex_);
    Snapshot news{count_, {latest_.begin(), latest_.end()}};
    count_ = 0;
    latest_.clear();
    return news;
}

}  // namespace vela
