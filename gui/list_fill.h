#pragma once

namespace vela {

class Database;
class MainWindow;
class QueryCursor;

// Reload the lists from the database. Every cell keeps the exact bytes of its
// value. A query that fails leaves the list empty, without a message.

// 项目列表框: one 80-pixel column per rule column ("0id" … "19type"), a row per
// scheme, checked where isdo (cell 17) is "1".
void FillSchemeList(MainWindow& window, QueryCursor& cursor, Database& db);
// 文章列表框: the 100 newest articles.
void FillArticleList(MainWindow& window, QueryCursor& cursor, Database& db);
// 收藏列表框: the 100 newest favourites.
void FillFavouriteList(MainWindow& window, QueryCursor& cursor, Database& db);

}  // namespace vela
