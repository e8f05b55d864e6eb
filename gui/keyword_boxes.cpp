#include "keyword_boxes.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include "main_window.h"

namespace vela {
namespace {

constexpr int kLinesWhileEditing = 5;

class GrowWhileFocused : public QObject {
public:
    explicit GrowWhileFocused(QPlainTextEdit* box)
        : QObject(box), box_(box), rest_(box->geometry()) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            const int grown =
                rest_.height() + (kLinesWhileEditing - 1) * box_->fontMetrics().lineSpacing();
            box_->setGeometry(rest_.adjusted(0, rest_.height() - grown, 0, 0));
            box_->raise();
            box_->ensureCursorVisible();
        } else if (event->type() == QEvent::FocusOut) {
            box_->setGeometry(rest_);
            box_->verticalScrollBar()->setValue(0);  // the first keyword, at rest
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPlainTextEdit* box_;
    const QRect rest_;  // the box's place in the layout
};

}  // namespace

void SetUpKeywordBoxes(MainWindow& window) {
    for (const char* name : {kIncludeBox, kExcludeBox}) {
        auto* box = window.Control<QPlainTextEdit>(name);
        // One keyword is one line: a long one scrolls instead of wrapping, and
        // the one line the box shows at rest has no margin to spare.
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setTabChangesFocus(true);  // a tab is no part of a keyword
        box->document()->setDocumentMargin(0);
        box->installEventFilter(new GrowWhileFocused(box));
        // At rest the box shows its first line only: the pointer shows them all.
        QObject::connect(box, &QPlainTextEdit::textChanged, box, [box] {
            const QString text = box->toPlainText();
            box->setToolTip(text.contains('\n') ? text : QString());
        });
    }
}

}  // namespace vela
