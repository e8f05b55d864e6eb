#include "notify_message.h"

#include <unordered_map>

#include "text_escape.h"

namespace vela {

NotifyMessage CycleMessage(const std::vector<NotifyArticle>& recorded) {
    NotifyMessage message;
    message.title = "发现 " + std::to_string(recorded.size()) + " 篇新文章";
    message.articles.assign(recorded.rbegin(), recorded.rend());
    return message;
}

NotifyMessage TestMessage() {
    NotifyMessage message;
    message.title = "vela 测试通知";
    message.note = "这是一条测试消息：此渠道可以收到新文章的通知。";
    return message;
}

std::vector<SchemeGroup> GroupByScheme(const NotifyMessage& message) {
    std::vector<SchemeGroup> groups;
    // Keyed by id and name together: two schemes may share a name.
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < message.articles.size(); ++i) {
        const NotifyArticle& article = message.articles[i];
        const std::string key = article.schemeId + '\n' + article.scheme;
        auto [it, added] = index.emplace(key, groups.size());
        if (added) groups.push_back({article.scheme, {}});
        groups[it->second].articles.push_back(i);
    }
    return groups;
}

std::string PlainBody(const NotifyMessage& message) {
    std::string body;
    if (!message.note.empty()) body += PlainLine(message.note) + "\n";
    for (const SchemeGroup& group : GroupByScheme(message)) {
        if (!body.empty()) body += "\n";
        body += "【" + PlainLine(group.scheme) + "】\n";
        for (std::size_t i : group.articles) {
            const NotifyArticle& article = message.articles[i];
            body += PlainLine(article.title) + "\n";
            if (!article.link.empty()) body += PlainLine(article.link) + "\n";
        }
    }
    if (!body.empty() && body.back() == '\n') body.pop_back();
    return body;
}

}  // namespace vela
