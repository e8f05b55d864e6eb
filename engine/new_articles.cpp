#include "new_articles.h"

namespace vela {
namespace {

std::string StoredForm(std::string_view cleaned) {
    std::string out;
    out.reserve(cleaned.size());
    for (std::size_t i = 0; i < cleaned.size(); ++i) {
        out += cleaned[i];
        if (cleaned[i] == '\'' && i + 1 < cleaned.size() && cleaned[i + 1] == '\'') ++i;
    }
    return out;
}

}  // namespace

void NewArticleDigest::AddRecorded(const std::string& scheme, std::string_view cleanedTitle) {
    AddRecorded({}, scheme, cleanedTitle, {}, {}, {});
}

void NewArticleDigest::AddRecorded(const std::string& schemeId, const std::string& scheme,
                                   std::string_view cleanedTitle, std::string_view link,
                                   std::string_view cleanedOther, const std::string& time) {
    NewArticle article{scheme,   StoredForm(cleanedTitle), std::string(link),
                       schemeId, StoredForm(cleanedOther), time};
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
