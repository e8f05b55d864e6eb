#include "article_query.h"

#include <charconv>

namespace vela {

BoundSql ArticleQuery(const ArticleFilter& filter) {
    BoundSql query("select id,planname,planid,title,url,other,addtime,issoucang from info where 1");
    std::string& sql = query.sql;
    if (!filter.schemeIds.empty()) {
        sql += " and planid in (";
        for (std::size_t i = 0; i < filter.schemeIds.size(); ++i) {
            sql += i > 0 ? ",?" : "?";
            // planid holds the scheme's id as text.
            query.values.emplace_back(std::to_string(filter.schemeIds[i]));
        }
        sql += ')';
    }
    if (filter.favouritesOnly) sql += " and issoucang=1";
    if (!filter.titleGbk.empty()) {
        sql += " and gbk_contains(title,?)";
        query.values.emplace_back(filter.titleGbk);
    }
    if (filter.beforeId > 0) {
        sql += " and id<?";
        query.values.emplace_back(filter.beforeId);
    }
    if (filter.sinceId >= 0) {
        sql += " and id>? order by id asc";
        query.values.emplace_back(filter.sinceId);
    } else {
        sql += " order by id desc";
    }
    sql += " limit ?";
    query.values.emplace_back(int64_t{filter.limit > 0 ? filter.limit : 0});
    return query;
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
