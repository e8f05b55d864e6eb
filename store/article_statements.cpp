#include "article_statements.h"

#include <string_view>

#include "sql_clean.h"

namespace vela {

namespace {

// Room for a text whose apostrophes are doubled.
std::size_t QuotedSizeBound(std::string_view text) { return 2 * text.size(); }

}  // namespace

std::string ArticleInsertStatement(std::string_view schemeName, std::string_view schemeId,
                                   std::string_view cleanedTitle, std::string_view link,
                                   std::string_view cleanedOther, std::string_view now) {
    constexpr std::string_view kHead =
        "insert into info(planname,planid,title,url,other,addtime,issoucang) values('";
    // Built in one buffer, the quoted texts written straight into it.
    std::string sql;
    sql.reserve(kHead.size() + QuotedSizeBound(schemeName) + schemeId.size() + cleanedTitle.size() +
                QuotedSizeBound(link) + cleanedOther.size() + now.size() + 20);
    sql.append(kHead);
    AppendSqlQuoted(sql, schemeName);
    sql.append("',").append(schemeId).append(",'");
    sql.append(cleanedTitle).append("','");
    AppendSqlQuoted(sql, link);
    sql.append("','").append(cleanedOther).append("','").append(now).append("',0)");
    return sql;
}

std::string UntitledArticleInsertStatement(std::string_view schemeName, std::string_view schemeId,
                                           std::string_view link, std::string_view cleanedOther,
                                           std::string_view now) {
    std::string sql;
    sql.reserve(160 + QuotedSizeBound(schemeName) + 2 * schemeId.size() +
                2 * QuotedSizeBound(link) + cleanedOther.size() + now.size());
    sql.append("insert into info(planname,planid,title,url,other,addtime,issoucang) select '");
    AppendSqlQuoted(sql, schemeName);
    sql.append("',").append(schemeId).append(",'','");
    AppendSqlQuoted(sql, link);
    sql.append("','").append(cleanedOther).append("','").append(now).append("',0");
    sql.append(" where not exists (select 1 from info where planid=").append(schemeId);
    sql.append(" and title='' and url='");
    AppendSqlQuoted(sql, link);
    sql.append("')");
    return sql;
}

namespace {

// An article id in decimal as an SQL value. Up to 18 digits it is a bare integer,
// which the TEXT column stores as the same digits; a longer one would be read as
// a real number and lose its last digits, so it goes in as text.
std::string IdLiteral(std::string_view id) {
    const std::string_view digits = id.substr(id.starts_with('-') ? 1 : 0);
    if (!digits.empty() && digits.size() <= 18 &&
        digits.find_first_not_of("0123456789") == std::string_view::npos) {
        return std::string(id);
    }
    std::string literal = "'";
    AppendSqlQuoted(literal, id);
    return literal + "'";
}

}  // namespace

std::string SchemeAfterRunStatement(const std::string& schemeId, const std::string& marker,
                                    const std::string& link, std::string_view highestId,
                                    const std::string& now) {
    const std::string quotedMarker = SqlQuote(marker);
    const std::string quotedLink = SqlQuote(link);
    const std::string id = IdLiteral(highestId);
    std::string sql;
    sql.reserve(quotedMarker.size() + quotedLink.size() + now.size() + id.size() + schemeId.size() +
                64);
    sql.append("update rule set arttile='").append(quotedMarker).append("',arturl='");
    sql.append(quotedLink).append("',lasttime='").append(now).append("',lastid=").append(id);
    sql.append(" where id=").append(schemeId);
    return sql;
}

std::string MarkerTitleStatement(std::string_view schemeId, std::string_view marker,
                                 std::string_view link) {
    constexpr std::string_view kHead = "update rule set arttile='";
    std::string sql;
    sql.reserve(kHead.size() + QuotedSizeBound(marker) + QuotedSizeBound(link) + schemeId.size() +
                24);
    sql.append(kHead);
    AppendSqlQuoted(sql, marker);
    sql.append("',arturl='");
    AppendSqlQuoted(sql, link);
    sql.append("' where id=").append(schemeId);
    return sql;
}

std::string MarkerIdStatement(const std::string& schemeId, std::string_view id) {
    return "update rule set lastid=" + IdLiteral(id) + " where id=" + schemeId;
}

}  // namespace vela
