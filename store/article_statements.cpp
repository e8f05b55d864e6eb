#include "article_statements.h"

#include <string_view>

#include "sql_clean.h"

namespace vela {

std::string ArticleInsertStatement(const std::string& schemeName, const std::string& schemeId,
                                   const std::string& cleanedTitle, const std::string& link,
                                   const std::string& cleanedOther, const std::string& now) {
    constexpr std::string_view kHead =
        "insert into info(planname,planid,title,url,other,addtime,issoucang) values('";
    const std::string name = SqlQuote(schemeName);
    const std::string quotedLink = SqlQuote(link);
    std::string sql;
    sql.reserve(kHead.size() + name.size() + schemeId.size() + cleanedTitle.size() +
                quotedLink.size() + cleanedOther.size() + now.size() + 20);
    sql.append(kHead).append(name).append("',").append(schemeId).append(",'");
    sql.append(cleanedTitle).append("','").append(quotedLink).append("','");
    sql.append(cleanedOther).append("','").append(now).append("',0)");
    return sql;
}

std::string SchemeAfterRunStatement(const std::string& schemeId, const std::string& marker,
                                    const std::string& link, int64_t highestId,
                                    const std::string& now) {
    const std::string quotedMarker = SqlQuote(marker);
    const std::string quotedLink = SqlQuote(link);
    const std::string id = std::to_string(highestId);
    std::string sql;
    sql.reserve(quotedMarker.size() + quotedLink.size() + now.size() + id.size() + schemeId.size() +
                64);
    sql.append("update rule set arttile='").append(quotedMarker).append("',arturl='");
    sql.append(quotedLink).append("',lasttime='").append(now).append("',lastid=").append(id);
    sql.append(" where id=").append(schemeId);
    return sql;
}

std::string MarkerTitleStatement(const std::string& schemeId, const std::string& marker) {
    return "update rule set arttile='" + SqlQuote(marker) + "' where id=" + schemeId;
}

std::string MarkerIdStatement(const std::string& schemeId, int64_t id) {
    return "update rule set lastid=" + std::to_string(id) + " where id=" + schemeId;
}

}  // namespace vela
