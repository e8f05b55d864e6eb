#include "guide_window.h"

#include <QColor>
#include <QFile>
#include <QScreen>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include "gbk_text.h"
#include "open_link.h"

static void InitGuideResource() { Q_INIT_RESOURCE(guide); }

namespace vela {
namespace {

// Markdown leaves code blocks without a background and unwrapped (one long
// pattern would scroll the whole guide sideways), quotes look like plain
// indented text and tables get double borders. Code and the warnings stand out
// on a tinted ground, long lines wrap, tables get single thin rules.
void TidyGuide(QTextDocument* document) {
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (format.hasProperty(QTextFormat::BlockCodeFence)) {
            format.setBackground(QColor(0xee, 0xf2, 0xf6));
            format.setNonBreakableLines(false);
        } else if (format.hasProperty(QTextFormat::BlockQuoteLevel)) {
            format.setBackground(QColor(0xfb, 0xed, 0xbb));
        } else {
            continue;
        }
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
    for (QTextFrame* frame : document->rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table) continue;
        QTextTableFormat format = table->format();
        format.setBorderCollapse(true);
        format.setBorder(1);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(QColor(0xc3, 0xcc, 0xd6));
        format.setCellSpacing(0);
        format.setCellPadding(4);
        table->setFormat(format);
    }
}

}  // namespace

QString GuideMarkdown() {
    InitGuideResource();
    QFile file(QStringLiteral(":/guide.md"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QTextBrowser* ShowGuideWindow(QWidget* owner) {
    const QString name = QStringLiteral("规则编写指南");
    auto* guide = owner->findChild<QTextBrowser*>(name, Qt::FindDirectChildrenOnly);
    if (!guide) {
        guide = new QTextBrowser(owner);
        guide->setObjectName(name);
        guide->setWindowFlag(Qt::Window);
        guide->setWindowTitle(name);
        guide->resize(780, 640);
        // The guide names sample addresses only; a link in it opens like an
        // article's link, never as a page inside this window.
        guide->setOpenLinks(false);
        QObject::connect(guide, &QTextBrowser::anchorClicked,
                         [](const QUrl& url) { OpenLink(ToGbk(url.toString())); });
        guide->document()->setDocumentMargin(12);
        guide->setMarkdown(GuideMarkdown());
        TidyGuide(guide->document());
        // Beside the main window when the screen has room, so that the editor
        // stays in view while the user follows the guide.
        QRect owned = owner->frameGeometry();
        if (QScreen* screen = owner->screen()) {
            QRect area = screen->availableGeometry();
            QPoint right(owned.right() + 8, owned.top());
            if (right.x() + guide->width() <= area.right()) guide->move(right);
        }
    }
    guide->show();
    guide->raise();
    guide->activateWindow();
    return guide;
}

}  // namespace vela
