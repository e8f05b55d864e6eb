#include "gui/guide_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <vector>

#include "gui/main_window.h"
#include "gui/open_link.h"

namespace vela {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

// Clicks the hint box where the text `anchor` is shown, as the user clicks a link.
void ClickText(QTextBrowser* box, const QString& anchor) {
    int at = box->document()->toPlainText().indexOf(anchor);
    ASSERT_GE(at, 0) << box->toPlainText().toStdString();
    QTextCursor cursor(box->document());
    cursor.setPosition(at + 1);
    QPoint point = box->cursorRect(cursor).center();
    ASSERT_FALSE(box->anchorAt(point).isEmpty());
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, point);
}

class GuideWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousOpener = SetUrlOpener([this](const QUrl& url) { opened.push_back(url); });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override { SetUrlOpener(previousOpener); }

    MainWindow window;
    std::vector<QUrl> opened;
    UrlOpener previousOpener;
};

// The help link of the pattern hint opens the guide in a window of its own, once,
// and neither leaves the program nor navigates the hint box away.
TEST_F(GuideWindowTest, HelpLinkOpensTheBuiltInGuide) {
    auto* hint = window.Control<QTextBrowser>("测试提示");
    window.Control<QTabWidget>("选择夹")->setCurrentIndex(4);
    window.activateWindow();
    window.Control<QComboBox>("正则框")->setFocus();
    QTRY_VERIFY(hint->toPlainText().endsWith(U("获取帮助")));
    const QString hintText = hint->toPlainText();

    ClickText(hint, U("获取帮助"));
    auto guides = window.findChildren<QTextBrowser*>(U("规则编写指南"));
    ASSERT_EQ(guides.size(), 1);
    QTextBrowser* guide = guides.front();
    EXPECT_TRUE(guide->isWindow());
    QTRY_VERIFY(guide->isVisible());
    EXPECT_EQ(guide->windowTitle(), U("规则编写指南"));
    // The window shows the built-in text rendered, not its Markdown source.
    EXPECT_TRUE(guide->toPlainText().startsWith(U("规则编写指南")));
    EXPECT_TRUE(guide->toPlainText().contains(U("判断模式")));
    EXPECT_FALSE(guide->toPlainText().contains(U("<!--")));
    EXPECT_EQ(hint->toPlainText(), hintText);
    EXPECT_TRUE(opened.empty());

    guide->close();
    ClickText(hint, U("获取帮助"));
    EXPECT_EQ(window.findChildren<QTextBrowser*>(U("规则编写指南")).size(), 1);
    QTRY_VERIFY(guide->isVisible());
}

// The built-in text is docs/guide.md as it stands in the source tree.
TEST(GuideText, IsTheSourceFile) {
    QFile file(U(VELA_GUIDE_SOURCE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(GuideMarkdown(), QString::fromUtf8(file.readAll()));
}

}  // namespace
}  // namespace vela
