#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/bound_sql.h"
#include "store/query_cursor.h"

// Which articles a feed, a page or the JSON answer shows, and the SQL that reads
// them: newest first, like the window's lists.

namespace vela {

struct ArticleFilter {
    std::vector<int64_t> schemeIds;  // empty: every scheme
    bool favouritesOnly = false;
    std::string titleGbk;  // only titles holding this text (ASCII case folded); empty: all
    int64_t beforeId = 0;  // only ids below this; 0: from the newest
    int64_t sinceId = -1;  // only ids above this, oldest first; -1: newest first
    int limit = 50;
};

// One row of table info as the web shows it; texts are GBK as stored.
struct Article {
    int64_t id = 0;
    std::string scheme;
    std::string schemeId;
    std::string title;
    std::string url;
    std::string other;
    std::string time;
    bool favourite = false;
};

// The select for `filter`, every value bound. A title search calls the SQL
// function gbk_contains, which the web's own read connections provide.
BoundSql ArticleQuery(const ArticleFilter& filter);
// The rows of that select.
std::vector<Article> ArticlesFromRows(const TextTable& rows);

// Every scheme in id order: id, name, address, ticked, last article, its time.
inline constexpr const char* kSchemeSummaryQuery =
    "select id,name,url,isdo,arttile,lasttime from rule order by id";

// The scheme ids a run of the command line or a query string names, as numbers:
// the text between commas, decimal; false for anything else.
bool ParseId(const std::string& text, int64_t& id);

}  // namespace vela
