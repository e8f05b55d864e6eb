#include "new_articles.h"

#include "store/sql_clean.h"

namespace vela {
void NewArticleDigest::AddRecorded(const std::string& scheme, std::string_view cleanedTitle) {
    AddRecorded({}, scheme, cleanedTitle, {}, {}, {});
}

void NewArticleDigest::AddRecorded(const std::string& schemeId, const std::string& scheme,
                                   std::string_view cleanedTitle, std::string_view link,
                                   std::string_view cleanedOther, const std::string& time) {
    NewArticle article{scheme,   StoredText(cleanedTitle), std::string(link),
                       schemeId, StoredText(cleanedOther), time};
    std::lock_guard lock(mutex_);
    ++count_;
    latest_.push_front(article);
    if (latest_.size() > kNamed) latest_.pop_back();
    all_.push_back(std::move(article));
}

NewArticleDigest::Snapshot NewArticleDigest::Take() {
    std::lock_guard lock(mutex_);
    Snapshot news{count_, {latest_.begin(), latest_.end()}, std::move(all_)};
    count_ = 0;
    latest_.clear();
    all_.clear();
    return news;
}

}  // namespace vela
