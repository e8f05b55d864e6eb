#include "list_commands.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTableWidget>

#include "execute_and_report.h"
#include "gbk_text.h"
#include "list_cells.h"
#include "list_fill.h"
#include "main_window.h"
#include "open_link.h"
#include "scheme_files.h"
#include "store/list_statements.h"

namespace vela {
namespace {

QTableWidget* List(MainWindow& window, const char* name) {
    return window.Control<QTableWidget>(name);
}

// Modal, as a list's pop-up menu is: until a command is chosen or the menu is
// dismissed, a monitoring loop waiting further up cannot refill the list and move
// the selection the command acts on.
void PopUp(MainWindow& window, const char* menu) {
    window.Menu(menu)->exec(QCursor::pos() + QPoint(3, 3));
}

// The user's own clicks on a list: a press on empty space clears the selection (as
// a list view does), and the article list answers a click and a double click even
// below its last row, where no cell signal is emitted.
class ListMouse : public QObject {
public:
    ListMouse(QTableWidget* list, std::function<void()> click, std::function<void()> doubleClick)
        : QObject(list),
          list_(list),
          click_(std::move(click)),
          doubleClick_(std::move(doubleClick)) {
        list->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        // Every event of the viewport passes here (paint, resize, hover …): only
        // the three mouse button events are mouse events.
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
            type != QEvent::MouseButtonDblClick) {
            return false;
        }
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        switch (type) {
            case QEvent::MouseButtonPress:
                if (!list_->indexAt(mouse->position().toPoint()).isValid()) list_->clearSelection();
                break;
            case QEvent::MouseButtonRelease:
                if (mouse->button() == Qt::LeftButton && click_) click_();
                break;
            case QEvent::MouseButtonDblClick:
                if (mouse->button() == Qt::LeftButton && doubleClick_) {
                    doubleClick_();
                    return true;
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    QTableWidget* list_;
    std::function<void()> click_;
    std::function<void()> doubleClick_;
};

}  // namespace

void OnSchemeListRightClick(MainWindow& window) {
    auto* list = List(window, "项目列表框");
    int row = SelectedRow(list);
    bool selected = row >= 0;
    window.MenuItem("方案", "新建监控方案")->setEnabled(true);
    for (const char* item : {"编辑", "删除", "复制"})
        window.MenuItem("方案", item)->setEnabled(selected);
    window.MenuItem("方案", "默认勾选")->setEnabled(selected && CellText(list, row, 17) != "1");
    window.MenuItem("方案", "导入方案…")->setEnabled(true);
    window.MenuItem("方案", "导出方案…")->setEnabled(true);  // no selection: every scheme
    PopUp(window, "方案");
}

void OnArticleListRightClick(MainWindow& window) {
    bool selected = SelectedRow(List(window, "文章列表框")) >= 0;
    window.MenuItem("文章", "收藏文章")->setEnabled(selected);
    window.MenuItem("文章", "删除文章")->setEnabled(selected);
    window.MenuItem("文章", "清空列表")->setEnabled(true);
    PopUp(window, "文章");
}

void OnFavouriteListRightClick(MainWindow& window) {
    bool selected = SelectedRow(List(window, "收藏列表框")) >= 0;
    window.MenuItem("收藏", "删除收藏")->setEnabled(selected);
    window.MenuItem("收藏", "导出所有收藏")->setEnabled(true);
    PopUp(window, "收藏");
}

void OnFavouriteArticle(MainWindow& window, QueryCursor& cursor, Database& db) {
    auto* list = List(window, "文章列表框");
    std::string id = CellText(list, SelectedRow(list), 0);
    ExecuteAndReport(db, window, FavouriteStatement(id));
    FillFavouriteList(window, cursor, db);
}

void OnRemoveFavourite(MainWindow& window, QueryCursor& cursor, Database& db) {
    auto* list = List(window, "收藏列表框");
    std::string id = CellText(list, SelectedRow(list), 0);
    ExecuteAndReport(db, window, RemoveFavouriteStatement(id));
    FillFavouriteList(window, cursor, db);
}

void OnMarkDefaultChecked(MainWindow& window, Database& db) {
    auto* list = List(window, "项目列表框");
    int row = SelectedRow(list);
    SetRowChecked(list, row, true);
    ExecuteAndReport(db, window, MarkCheckedStatement(CellText(list, row, 0)));
}

void OnArticleClick(MainWindow& window) {
    static const char* const kLabels[] = {"文章ID：", "；所属站点：", "；文章标题：",
                                          "；链接：", "；更新时间：", "；状态：",
                                          "；备注："};
    auto* list = List(window, "文章列表框");
    int row = SelectedRow(list);
    std::string text;
    for (int i = 0; i < 7; ++i) text += Gbk(kLabels[i]) + CellText(list, row, i);
    window.Control<QPlainTextEdit>("状态")->setPlainText(FromGbkLines(text));
}

void OnArticleDoubleClick(MainWindow& window) {
    auto* list = List(window, "文章列表框");
    int row = SelectedRow(list);
    if (row < 0) return;
    OpenLink(CellText(list, row, 3));
}

void BindListCommands(MainWindow& window, QueryCursor& cursor, Database& db) {
    auto bindMenu = [&window](const char* name, void (*handler)(MainWindow&)) {
        QObject::connect(List(window, name), &QWidget::customContextMenuRequested, &window,
                         [&window, handler] { handler(window); });
    };
    bindMenu("项目列表框", OnSchemeListRightClick);
    bindMenu("文章列表框", OnArticleListRightClick);
    bindMenu("收藏列表框", OnFavouriteListRightClick);
    new ListMouse(List(window, "项目列表框"), {}, {});
    new ListMouse(List(window, "收藏列表框"), {}, {});
    new ListMouse(
        List(window, "文章列表框"), [&window] { OnArticleClick(window); },
        [&window] { OnArticleDoubleClick(window); });
    QObject::connect(window.MenuItem("文章", "收藏文章"), &QAction::triggered, &window,
                     [&] { OnFavouriteArticle(window, cursor, db); });
    QObject::connect(window.MenuItem("收藏", "删除收藏"), &QAction::triggered, &window,
                     [&] { OnRemoveFavourite(window, cursor, db); });
    QObject::connect(window.MenuItem("方案", "默认勾选"), &QAction::triggered, &window,
                     [&] { OnMarkDefaultChecked(window, db); });
    QObject::connect(window.MenuItem("方案", "导入方案…"), &QAction::triggered, &window,
                     [&] { OnImportSchemes(window, cursor, db); });
    QObject::connect(window.MenuItem("方案", "导出方案…"), &QAction::triggered, &window,
                     [&] { OnExportSchemes(window, db); });
}

}  // namespace vela
