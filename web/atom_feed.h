#pragma once

#include <string>
#include <vector>

#include "article_query.h"

// An Atom 1.0 document (RFC 4287) of articles.

namespace vela {

struct FeedHead {
    std::string identity;  // DatabaseIdentity() of the file the articles come from
    std::string key;       // what the feed shows, part of its id: "articles", "scheme/3"
    std::string title;     // UTF-8
    std::string selfUrl;   // the address it is served at; empty when written to a file
};

// The tag: URI of an article of that database: the same for the same row always.
std::string ArticleTag(const std::string& identity, int64_t articleId);

// The document. Entry times come from the stored time texts, the feed's time is
// that of its newest entry; every text is escaped and cleaned for XML.
std::string AtomFeed(const FeedHead& head, const std::vector<Article>& articles);

}  // namespace vela
