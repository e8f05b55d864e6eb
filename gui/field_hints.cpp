#include "field_hints.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QTextBrowser>

#include "gbk_text.h"
#include "guide_window.h"
#include "main_window.h"
#include "open_link.h"

namespace vela {
namespace {

const char* const kHintStyleSheet =
    "body {font-size: 9pt; line-height: 22px; color: green; font-family: 宋体, Verdana;}\r\n"
    "p {font-size: 9pt; color: black; font-family: 宋体, Verdana;}\r\n"
    "h1 {font-size: 14pt; color: black; font-family: 宋体, Verdana; font-weight: bold;}\r\n"
    "h2 {font-size: 13pt; color: #ff9900; font-family: 宋体, Verdana; font-weight: bold;}\r\n"
    "h3 {font-size: 12pt; color: #ff9900; font-family: 宋体, Arial; font-weight: bold;}\r\n"
    "h4 {font-size: 10pt; color: black; font-family: 宋体, Verdana; font-weight: bold;}\r\n"
    "h5 {font-size: 9pt; color: #ff9900; font-family: 宋体, Verdana; font-weight: bold;}\r\n"
    "h6 {font-size: 65%; color: #626262; font-family: 宋体, Verdana; font-weight: normal;}\r\n"
    "pre {font-size: 9pt; font-family: 宋体, Courier; background-color: #fbedbb;}\r\n"
    "code {color: #990000; font-family: 宋体, Arial;}\r\n"
    "a:link {text-decoration: none; color: red;}\r\n"
    "a:hover {text-decoration: underline; color: blue;}\r\n"
    "sub {font-size: 65%; vertical-align: bottom;}\r\n"
    "sup {font-size: 65%; vertical-align: top;}\r\n"
    "big {font-size: 125%;}\r\n"
    "small {font-size: 75%;}\r\n"
    ".comment {color: green;}";

struct Hint {
    const char* field;
    const char* text;
};

const Hint kHints[] = {
    {"编辑框_站名", "方案的标识，示例：天涯论坛_休闲版块"},
    {"编辑框_网址", "被监控的页面地址"},
    {"按钮_自动识别", "读取网址的页面，自动找出文章列表并填好方案"},
    {"gbk", "源站的编码，选错会乱码。勾选表示gbk，否则为utf-8"},
    {"采集前", "将从源码的该标记开始匹配，如不明白，可保持默认"},
    {"采集后", "采集区域从此处结束，如不明白，可保持默认"},
    {"正则框", nullptr},
    {"补全框", "合成实际的文章地址。[1]表示测试结果索引1的内容"},
    {"cookie框", "可为空！用于需要登陆才能查看的网站"},
    {"ua框", "自定义浏览器标记，采集手机版页面可能用到！"},
    {"tindex框", "正则匹配得到的 标题的索引编号。下同"},
    {"包含关键词框", "每行一个，标题含其中之一才记录；/…/是正则"},
    {"排除关键词框", "每行一个，标题含其中任何一个就不记录"},
    {"清理标题框", "去掉标题中的网页标签，还原&amp;amp;等字符"},
    {"浏览器渲染框", "列表由脚本生成时勾选，较慢，需安装chromium"},
};

// Shows a field's hint when the field (or, for the combo box, its edit line) gets
// the focus.
class HintFilter : public QObject {
public:
    HintFilter(MainWindow& window, QString field)
        : QObject(&window), window_(window), field_(std::move(field)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) ShowFieldHint(window_, field_);
        return QObject::eventFilter(watched, event);
    }

private:
    MainWindow& window_;
    QString field_;
};

// Qt applies the "body" rule only to a document that names its body.
QString AsBody(const QString& html) { return "<body>" + html + "</body>"; }

}  // namespace

QString FieldHint(const QString& field) {
    for (const Hint& hint : kHints) {
        if (field != QString::fromUtf8(hint.field)) continue;
        if (hint.text) return QString::fromUtf8(hint.text);
        return QString::fromUtf8("重要！匹配文章的正则表达式，") +
               "<a href=" + QString::fromUtf8(kGuideLink) + QString::fromUtf8(">获取帮助</a>");
    }
    return {};
}

void ShowFieldHint(MainWindow& window, const QString& field) {
    auto* box = window.Control<QTextBrowser>("测试提示");
    box->setHtml(AsBody(FieldHint(field)));
    box->update();
}

void SetUpFieldHints(MainWindow& window) {
    auto* box = window.Control<QTextBrowser>("测试提示");
    box->document()->setDefaultStyleSheet(QString::fromUtf8(kHintStyleSheet));
    box->setHtml(AsBody(QString::fromUtf8("提示：规则测试正确后，才能保存配置")));
    // The box handles its links itself: the guide opens in its own window, and
    // the hint stays in the box instead of being replaced by the link's target.
    box->setOpenLinks(false);
    QObject::connect(box, &QTextBrowser::anchorClicked, &window, [&window](const QUrl& url) {
        if (url == QUrl(QString::fromUtf8(kGuideLink))) {
            ShowGuideWindow(&window);
        } else {
            OpenLink(ToGbk(url.toString()));
        }
    });
    for (const Hint& hint : kHints) {
        QWidget* field = window.Control(hint.field);
        auto* filter = new HintFilter(window, field->objectName());
        field->installEventFilter(filter);
        if (auto* combo = qobject_cast<QComboBox*>(field))
            combo->lineEdit()->installEventFilter(filter);
    }
}

}  // namespace vela
