#pragma once

namespace vela {

class Database;
class MainWindow;
class QueryCursor;

// The right-click menus of the three lists and the commands on their rows.
void OnSchemeListRightClick(MainWindow& window);
void OnArticleListRightClick(MainWindow& window);
void OnFavouriteListRightClick(MainWindow& window);
void OnFavouriteArticle(MainWindow& window, QueryCursor& cursor, Database& db);
void OnRemoveFavourite(MainWindow& window, QueryCursor& cursor, Database& db);
void OnMarkDefaultChecked(MainWindow& window, Database& db);
// Replaces the whole text of 状态 with the details of the selected article.
void OnArticleClick(MainWindow& window);
// Opens the selected article's link in the browser.
void OnArticleDoubleClick(MainWindow& window);

// Binds the events above to the lists and menu items.
void BindListCommands(MainWindow& window, QueryCursor& cursor, Database& db);

}  // namespace vela
