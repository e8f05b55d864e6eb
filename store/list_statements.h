#pragma once

#include <cstdint>
#include <string>

#include "bound_sql.h"

// The SQL texts of the window's lists: the queries that fill them and the
// statements of their menu commands. A menu command's id is a list cell holding
// the row's integer primary key, put into the text as it stands: 状态 shows the
// statement text byte for byte, so these stay texts.

namespace vela {

// Every scheme, all columns in table order.
inline constexpr const char* kSchemeListQuery = "select * from rule";
// The 100 newest articles.
inline constexpr const char* kArticleListQuery =
    "select * from info where 1 order by id desc LIMIT 100";
// The 100 newest favourites.
inline constexpr const char* kFavouriteListQuery =
    "select * from info where issoucang=1 order by id desc LIMIT 100";

// The newest `limit` articles, or favourites, as the two lists show them; for
// a limit of 100 these are the texts above.
inline std::string ArticleListQuery(int limit, bool favouritesOnly) {
    return std::string("select * from info where ") + (favouritesOnly ? "issoucang=1" : "1") +
           " order by id desc LIMIT " + std::to_string(limit);
}

// Every scheme in id order, all columns in table order: what a run of the
// ticked schemes goes through.
inline constexpr const char* kSchemesInIdOrderQuery = "select * from rule order by id";
// One scheme's row, all columns in table order; the id is bound.
inline BoundSql SchemeRowQuery(int64_t schemeId) {
    return {"select * from rule where id=?", {schemeId}};
}

inline std::string FavouriteStatement(const std::string& articleId) {
    return "update info set issoucang=1 where id=" + articleId;
}
inline std::string RemoveFavouriteStatement(const std::string& articleId) {
    return "update info set issoucang=0 where id=" + articleId;
}
// Ticks a scheme for monitoring.
inline std::string MarkCheckedStatement(const std::string& schemeId) {
    return "update rule set isdo=1 where id=" + schemeId;
}

}  // namespace vela
