#include "answer_cache.h"

namespace vela {

bool AnswerCache::Find(const std::string& key, const AnswerVersion& version, WebResponse& response,
                       std::optional<std::time_t>& lastModified) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    if (it == entries_.end() || !(it->second.version == version)) return false;
    response = it->second.response;
    lastModified = it->second.lastModified;
    return true;
}

void AnswerCache::Store(const std::string& key, const AnswerVersion& version,
                        const WebResponse& response,
                        const std::optional<std::time_t>& lastModified) {
    if (response.body.size() > kLargest || key.size() > 16 * 1024) return;
    std::lock_guard lock(mutex_);
    if (entries_.size() >= kEntries && entries_.find(key) == entries_.end()) entries_.clear();
    entries_[key] = Entry{version, response, lastModified};
}

}  // namespace vela
