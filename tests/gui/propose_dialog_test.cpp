// 自动识别 on the editor page: the dialog over the form's address, its candidates,
// a cancel while the page is fetched, and the chosen candidate in the form, whose
// rule test then shows its matches.

#include "gui/propose_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>

#include "fetch/encoding.h"
#include "gui/scheme_editor.h"
#include "monitor_fixture.h"

namespace vela {
namespace {

class ProposeDialogTest : public ::testing::Test, public test::MonitorFixture {
protected:
    void SetUp() override {
        BindMonitoring(context);
        BindSchemeEditor(editor);
        // Bound once, as the program binds it; each test picks the finder.
        BindProposeButton(editor, [this](const ProposeInput& input) { return finder(input); });
    }

    void SetLine(const char* name, const std::string& utf8) {
        window.Control<QLineEdit>(name)->setText(QString::fromStdString(utf8));
    }
    QString Line(const char* name) { return window.Control<QLineEdit>(name)->text(); }

    // Presses 自动识别; `inDialog` runs once the dialog is open, on the GUI thread.
    void PressPropose(std::function<void(ProposeDialog&)> inDialog) {
        bool ran = false;
        QTimer::singleShot(0, &window, [&] {
            ProposeDialog* dialog = nullptr;
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return (dialog = window.findChild<ProposeDialog*>()) != nullptr; }, 10000));
            ran = true;
            inDialog(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        window.Control<QPushButton>("按钮_自动识别")->click();
        EXPECT_TRUE(ran);
        EXPECT_EQ(window.findChild<ProposeDialog*>(), nullptr) << "the dialog is gone";
    }

    // The rows of the rule test's match list.
    int Matches() {
        window.Control<QPushButton>("按钮_测试配置")->click();
        return window.Control<QTableWidget>("测试列表框")->rowCount();
    }

    EditorContext editor{window, db, cursor};
    ProposeFunction finder;
};

// A stand-in finder: a sidebar first, the board's list second.
Proposal TwoCandidates(const ProposeInput& input) {
    Proposal proposal;
    proposal.gbk = input.encoding == PageEncoding::kGbk;
    Candidate board;
    board.score = 0.8;
    board.scheme.name = Gbk("版块");
    board.scheme.gbk = proposal.gbk;
    board.scheme.url = Gbk(input.url);
    board.scheme.before = "<ul>";
    board.scheme.after = "</ul>";
    board.scheme.pattern = "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>";
    board.scheme.linkTemplate = "http://bbs.example[2]";
    board.scheme.titleGroup = 3;
    board.scheme.idGroup = 1;
    board.scheme.type = 8;
    board.scheme.cookie = input.cookie;
    board.scheme.userAgent = input.userAgent;
    for (int id : {3, 2, 1}) {
        board.items.push_back({"Title " + std::to_string(id), "http://bbs.example/t/"});
    }
    Candidate side;
    side.score = 0.9;
    side.scheme.before = "<aside>";
    side.items = {{Gbk("热帖"), "http://bbs.example/hot"}};
    proposal.candidates = {side, board};
    return proposal;
}

TEST_F(ProposeDialogTest, TheChosenCandidateFillsTheFormAndItsRuleTestMatches) {
    finder = TwoCandidates;
    SetLine("编辑框_网址", server.Url("/board"));
    window.Control<QPlainTextEdit>("cookie框")->setPlainText("sid=7");
    SetLine("ua框", "Probe/2");
    PressPropose([](ProposeDialog& dialog) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.list->count() == 2; }, 10000));
        EXPECT_EQ(dialog.list->item(0)->text(), "1. 1 篇文章：热帖");
        EXPECT_EQ(dialog.list->item(1)->text(), "2. 3 篇文章：Title 3 | Title 2 | Title 1");
        EXPECT_EQ(dialog.message->text(), "找到 2 个文章列表（UTF-8 编码），选一个填入方案：");
        dialog.list->setCurrentRow(1);
        dialog.fillButton->click();
    });
    const std::string request = server.Requests().at(0);
    EXPECT_EQ(test::RequestTarget(request), "/board");
    EXPECT_NE(request.find("\r\nCookie: sid=7\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Probe/2\r\n"), std::string::npos) << request;

    EXPECT_EQ(Line("编辑框_站名"), "版块");
    EXPECT_EQ(Line("采集前"), "<ul>");
    EXPECT_EQ(Line("采集后"), "</ul>");
    EXPECT_EQ(window.Control<QComboBox>("正则框")->currentText(),
              "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>");
    EXPECT_EQ(Line("补全框"), "http://bbs.example[2]");
    EXPECT_EQ(Line("tindex框"), "3");
    EXPECT_EQ(Line("uindex框"), "1");
    EXPECT_TRUE(window.Control<QRadioButton>("单选框3")->isChecked());
    EXPECT_FALSE(window.Control<QCheckBox>("gbk")->isChecked());
    EXPECT_EQ(window.Control<QPlainTextEdit>("cookie框")->toPlainText(), "sid=7");
    EXPECT_EQ(Line("ua框"), "Probe/2");
    EXPECT_EQ(Line("项目编号框"), "0");
    EXPECT_FALSE(window.Control("按钮_保存配置")->isEnabled()) << "saved only after a rule test";

    EXPECT_EQ(Matches(), 3);
    EXPECT_TRUE(window.Control("按钮_保存配置")->isEnabled());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ProposeDialogTest, CancelStopsTheFetchAndLeavesTheFormAlone) {
    int calls = 0;
    finder = [&calls](const ProposeInput& input) {
        ++calls;
        return TwoCandidates(input);
    };
    // No address: nothing to fetch.
    window.Control<QPushButton>("按钮_自动识别")->click();
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("请先填写监控网址！"));

    // The address goes out in the form's encoding (gbk编码 is ticked).
    stall = true;
    SetLine("编辑框_网址", server.Url("/板块"));
    SetLine("编辑框_站名", "mine");
    PressPropose([this](ProposeDialog& dialog) {
        ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(10)));
        EXPECT_EQ(test::RequestTarget(server.Requests()[0]), "/%B0%E5%BF%E9");
        EXPECT_TRUE(dialog.message->text().startsWith("正在读取 "));
        dialog.cancelButton->click();
    });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Line("编辑框_站名"), "mine");
    EXPECT_EQ(Line("采集前"), "<html");

    // A page without a list says so; the dialog fills nothing.
    stall = false;
    finder = [](const ProposeInput&) { return Proposal{false, {}, "no list found"}; };
    PressPropose([](ProposeDialog& dialog) {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return dialog.message->text().startsWith("没有"); }, 10000))
            << dialog.message->text().toStdString();
        EXPECT_EQ(dialog.message->text(), "没有在页面中找到文章列表（no list found）");
        EXPECT_FALSE(dialog.fillButton->isEnabled());
    });
    EXPECT_EQ(Line("采集前"), "<html");
}

// With the real finder: a GBK list page, its first candidate in the form, and the
// rule test's matches are its items.
TEST_F(ProposeDialogTest, TheRealFinderFillsAFormWhoseRuleTestMatchesTheList) {
    finder = ProposeSchemes;
    page =
        "<html><head><meta charset=gbk></head><body><div class=nav><a href=/>Home</a> "
        "<a href=/a>About</a></div><ul class=news>";
    for (int i = 1; i <= 6; ++i) {
        page += "<li><a href=\"/n/" + std::to_string(i) + ".html\">" + Gbk("新闻") +
                std::to_string(i) + "</a></li>";
    }
    page += "</ul></body></html>";
    SetLine("编辑框_网址", server.Url("/news"));
    PressPropose([](ProposeDialog& dialog) {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !dialog.message->text().startsWith("正在读取"); }, 10000));
        ASSERT_TRUE(dialog.fillButton->isEnabled()) << dialog.message->text().toStdString();
        EXPECT_TRUE(dialog.list->item(0)->text().startsWith("1. 6 篇文章：新闻1 | 新闻2 | 新闻3"));
        dialog.fillButton->click();
    });
    EXPECT_TRUE(window.Control<QCheckBox>("gbk")->isChecked());
    EXPECT_EQ(Matches(), 6);
}

}  // namespace
}  // namespace vela
