#include "article_query.h"

#include <charconv>

#include "store/sql_clean.h"

namespace vela {

std::string ArticleQuery(const ArticleFilter& filter) {
    std::string sql =
        "select id,planname,planid,title,url,other,addtime,issoucang from info where 1";
    if (!filter.schemeIds.empty()) {
        sql += " and planid in (";
        for (std::size_t i = 0; i < filter.schemeIds.size(); ++i) {
            if (i > 0) sql += ',';
            // planid holds the scheme's id as text.
            sql += '\'' + std::to_string(filter.schemeIds[i]) + '\'';
        }
        sql += ')';
    }
    if (filter.favouritesOnly) sql += " and issoucang=1";
    if (!filter.titleGbk.empty()) {
        sql += " and gbk_contains(title,'";
        AppendSqlQuoted(sql, filter.titleGbk);
        sql += "')";
    }
    if (filter.beforeId > 0) sql += " and id<" + std::to_string(filter.beforeId);
    if (filter.sinceId >= 0) {
        sql += " and id>" + std::to_string(filter.sinceId) + " order by id asc";
    } else {
        sql += " order by id desc";
    }
    sql += " limit " + std::to_string(filter.limit > 0 ? filter.limit : 0);
    return sql;
}

std::vector<Article> ArticlesFromRows(const TextTable& rows) {
    std::vector<Article> articles;
    articles.reserve(rows.size());
    for (const auto& row : rows) {
        if (row.size() < 8) continue;
        Article a;
        ParseId(row[0], a.id);
        a.scheme = row[1];
        a.schemeId = row[2];
        a.title = row[3];
        a.url = row[4];
        a.other = row[5];
        a.time = row[6];
        a.favourite = row[7] == "1";
        articles.push_back(std::move(a));
    }
    return articles;
}

bool ParseId(const std::string& text, int64_t& id) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 0) return false;
    id = value;
    return true;
}

}  // namespace vela
