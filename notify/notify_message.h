#pragma once

#include <string>
#include <vector>

namespace vela {

// One stored article, as the channels show it: UTF-8 texts as the database holds
// them (not their SQL form).
struct NotifyArticle {
    std::string schemeId;
    std::string scheme;
    std::string title;
    std::string link;
    std::string other;
    std::string time;
};

// What a cycle tells every channel: a title, an optional line of text, and the
// articles, newest first.
struct NotifyMessage {
    std::string title;
    std::string note;
    std::vector<NotifyArticle> articles;
};

// The message of a cycle: "发现 N 篇新文章" and the articles. `recorded` is in
// the order they were stored (oldest first), as a run reports them.
NotifyMessage CycleMessage(const std::vector<NotifyArticle>& recorded);

// The message `notify test` sends.
NotifyMessage TestMessage();

// The articles of a message grouped by scheme, in the order of each scheme's
// newest article; inside a group newest first. Indices into `message.articles`.
struct SchemeGroup {
    std::string scheme;
    std::vector<std::size_t> articles;
};
std::vector<SchemeGroup> GroupByScheme(const NotifyMessage& message);

// The plain-text body: the note, then per scheme "【name】" and each title with
// its link on the next line. For services that take no markup.
std::string PlainBody(const NotifyMessage& message);

}  // namespace vela
