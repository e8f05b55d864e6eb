#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include "gui/field_hints.h"
#include "gui/gbk_text.h"
#include "gui/guide_window.h"
#include "gui/message_box.h"
#include "gui/window_events.h"
#include "gui/window_layout.h"
#include "tests/support/message_recorder.h"

namespace vela {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

QString Caption(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    MainWindow window;
};

// Every control of the layout exists once, under its parent, at its place relative
// to that parent (page controls relative to the tab control), with its text and state.
TEST_F(MainWindowTest, ControlsFollowTheLayout) {
    auto* tab = window.Control<QTabWidget>("选择夹");
    for (const ControlSpec& control : WindowLayout()) {
        SCOPED_TRACE(control.name);
        auto found = window.findChildren<QWidget*>(U(control.name));
        ASSERT_EQ(found.size(), 1);
        QWidget* w = found.front();
        QString parent = U(control.parent);
        QPoint at;
        if (parent.isEmpty()) {
            EXPECT_EQ(w->parentWidget(), &window);
            at = w->pos();
        } else if (parent.contains('/')) {
            EXPECT_EQ(w->parentWidget(), tab->widget(parent.section('/', 1).toInt()));
            at = w->mapTo(tab, QPoint(0, 0));
        } else {
            EXPECT_EQ(w->parentWidget()->objectName(), parent);
            at = w->pos();
        }
        EXPECT_EQ(at, QPoint(control.x, control.y));
        EXPECT_EQ(w->size(), QSize(control.width, control.height));
        if (control.kind != ControlKind::HtmlBox) {
            EXPECT_EQ(Caption(w), U(control.text));
        }
        EXPECT_EQ(w->isHidden(), bool(control.flags & kHidden));
        EXPECT_EQ(w->isEnabled(), !(control.flags & kDisabled));
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable()) {
            EXPECT_EQ(b->isChecked(), bool(control.flags & kChecked));
        }
    }
    // A few places spelled out, so that the table itself is checked too.
    EXPECT_EQ(window.Control("运行")->geometry(), QRect(628, 5, 80, 26));
    EXPECT_EQ(window.Control("项目列表框")->mapTo(tab, QPoint(0, 0)), QPoint(0, 21));
    EXPECT_EQ(window.Control<QAbstractButton>("运行")->text(), U("开 始"));
    EXPECT_EQ(window.size(), QSize(717, 479));
    EXPECT_EQ(tab->count(), 6);
    EXPECT_EQ(tab->tabText(5), U("高级设置"));
    EXPECT_EQ(tab->currentIndex(), 0);
}

// The check boxes of 高级设置 take the mouse: none lies under the page's cover label.
TEST_F(MainWindowTest, SettingsCheckBoxesTakeAClick) {
    window.Control<QTabWidget>("选择夹")->setCurrentIndex(5);
    for (const char* name : {"图标提醒", "语音提醒", "桌面通知"}) {
        SCOPED_TRACE(name);
        auto* box = window.Control<QAbstractButton>(name);
        ASSERT_NE(box, nullptr);
        QPoint indicator(8, box->height() / 2);  // the box itself, left of its caption
        EXPECT_EQ(window.childAt(box->mapTo(&window, indicator)), box);
        QTest::mouseClick(box, Qt::LeftButton, {}, indicator);
        EXPECT_FALSE(box->isChecked());
    }
    EXPECT_EQ(window.Control("桌面通知")->parentWidget(), window.Control("设置"));
}

TEST_F(MainWindowTest, PatternBoxStartsEmptyWithFourEntries) {
    auto* combo = window.Control<QComboBox>("正则框");
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), QString());
    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0),
              U("*\u3000必填，(\\d*)代表数字\u3000(.*?)表示字符串\u3000下面3个是DZ论坛常用规则"));
    EXPECT_EQ(
        combo->itemText(2),
        U("<a href=\"(.*?)\" onclick=\\\"atarget\\(this\\)\\\" class=\\\"xst\\\" >(.*?)</a>"));
}

TEST_F(MainWindowTest, MenusHaveTheirItemsAndStates) {
    struct Item {
        const char* menu;
        const char* item;
        bool enabled;
    };
    const Item items[] = {
        {"方案", "新建监控方案", true}, {"方案", "编辑", false},       {"方案", "删除", false},
        {"方案", "复制", false},        {"方案", "默认勾选", true},    {"文章", "收藏文章", false},
        {"文章", "删除文章", false},    {"文章", "清空列表", true},    {"收藏", "删除收藏", true},
        {"收藏", "导出所有收藏", true}, {"托盘菜单", "关于...", true}, {"托盘菜单", "退出", true},
        {"方案", "导入方案…", true},    {"方案", "导出方案…", true},
    };
    for (const Item& i : items) {
        SCOPED_TRACE(i.item);
        QAction* action = window.MenuItem(i.menu, i.item);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isEnabled(), i.enabled);
    }
    EXPECT_EQ(window.Menu("方案")->actions().size(), 10);
}

TEST_F(MainWindowTest, FocusShowsTheFieldHintAndKeepsIt) {
    auto* hint = window.Control<QTextBrowser>("测试提示");
    EXPECT_EQ(hint->toPlainText(), U("提示：规则测试正确后，才能保存配置"));
    window.activateWindow();
    window.Control("tindex框")->setFocus();
    QTRY_COMPARE(hint->toPlainText(), U("正则匹配得到的 标题的索引编号。下同"));
    window.Control("uindex框")->setEnabled(true);
    window.Control("uindex框")->setFocus();
    QTest::qWait(10);
    EXPECT_EQ(hint->toPlainText(), U("正则匹配得到的 标题的索引编号。下同"));
    window.Control("正则框")->setFocus();
    QTRY_VERIFY(hint->toHtml().contains(U(kGuideLink)));
    EXPECT_TRUE(hint->toPlainText().endsWith(U("获取帮助")));
    // The hint box's style sheet makes hints green.
    QTextCharFormat format = hint->document()->begin().begin().fragment().charFormat();
    EXPECT_EQ(format.foreground().color(), QColor("green"));
}

// A keyword box is one line high in the layout; it grows upwards while it has the
// focus, its hint showing, and goes back to its place when the focus leaves.
TEST_F(MainWindowTest, KeywordBoxGrowsWhileFocused) {
    window.ShowPage(4);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* box = window.Control<QPlainTextEdit>("包含关键词框");
    const QRect rest = box->geometry();
    box->setFocus();
    QTRY_VERIFY(box->height() >= 4 * box->fontMetrics().lineSpacing());
    EXPECT_EQ(box->geometry().bottom(), rest.bottom());
    EXPECT_EQ(box->geometry().width(), rest.width());
    EXPECT_TRUE(window.Control<QTextBrowser>("测试提示")->toPlainText().startsWith(U("每行一个")));
    window.Control("编辑框_站名")->setFocus();
    QTRY_COMPARE(box->geometry(), rest);
}

TEST_F(MainWindowTest, TabChangeShowsStatusOnlyOnListPages) {
    BindWindowEvents(window, *new TrayIcon(&window), {});
    auto* tab = window.Control<QTabWidget>("选择夹");
    QWidget* status = window.Control("状态");
    for (int page : {1, 5, 2, 0, 3, 4}) {
        tab->setCurrentIndex(page);
        EXPECT_EQ(status->isVisible(), page >= 1 && page <= 3) << page;
    }
}

TEST_F(MainWindowTest, OnlyTheUsersPageChangesRunThePageHandler) {
    BindWindowEvents(window, *new TrayIcon(&window), {});
    auto* tab = window.Control<QTabWidget>("选择夹");
    QWidget* status = window.Control("状态");
    window.ShowPage(2);  // as monitoring's start does
    EXPECT_EQ(tab->currentIndex(), 2);
    EXPECT_FALSE(status->isVisible());
    QTabBar* bar = tab->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(tab->currentIndex(), 1);
    EXPECT_TRUE(status->isVisible());
    QTest::keyClick(tab, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tab->currentIndex(), 2);
    window.ShowPage(4);
    EXPECT_TRUE(status->isVisible()) << "the program's own change leaves 状态 alone";
}

TEST_F(MainWindowTest, MinimiseHidesOnlyWithATrayIcon) {
    window.showMinimized();
    OnWindowResized(window, false);
    QTest::qWait(20);
    EXPECT_TRUE(window.isVisible());
    OnWindowResized(window, true);
    QTRY_VERIFY(!window.isVisible());
    OnTrayEvent(window, TrayAction::LeftClick, {});
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(MainWindowTest, LaterVersionItemsOnlyShowAMessage) {
    TrayIcon tray(&window);
    BindWindowEvents(window, tray, {});
    test::MessageRecorder messages;
    for (auto [menu, item] : {std::pair{"方案", "删除"},
                              {"文章", "删除文章"},
                              {"文章", "清空列表"},
                              {"收藏", "导出所有收藏"}}) {
        window.MenuItem(menu, item)->setEnabled(true);  // as with a selected row
        window.MenuItem(menu, item)->trigger();
    }
    ASSERT_EQ(messages.boxes.size(), 4u);
    for (const auto& box : messages.boxes) {
        EXPECT_EQ(box.text, "\xB4\xCB\xB9\xA6\xC4\xDC\xCF\xC2\xB8\xF6\xB0\xE6\xB1\xBE\xBC\xFB!");
        EXPECT_FALSE(box.information);
    }
    window.MenuItem("托盘菜单", "关于...")->trigger();
    ASSERT_EQ(messages.boxes.size(), 5u);
    EXPECT_TRUE(messages.boxes.back().information);
}

}  // namespace
}  // namespace vela

namespace vela {
namespace {

TEST(MessageBox, ShowsItsTextAsPlainText) {
    const std::string sql = "update rule set before='<div id=\"list\">' where id=2";
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        format = box->textFormat();
        box->accept();
    });
    ShowMessage(Gbk("成功！SQL：") + sql);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, QString::fromUtf8("成功！SQL：") + QString::fromStdString(sql));
}

}  // namespace
}  // namespace vela
