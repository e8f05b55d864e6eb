// Every caption of the layout fits its control, in the program's own font and
// with the skin applied as at start-up.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>

#include "gui/main_window.h"
#include "gui/window_layout.h"
#include "skin/skin.h"

namespace vela {
namespace {

TEST(CaptionFit, EveryCaptionFitsItsControl) {
    QApplication::setFont(InterfaceFont());
    Skin skin([](std::string_view sheet) {
        qApp->setStyleSheet(QString::fromUtf8(sheet.data(), static_cast<qsizetype>(sheet.size())));
    });
    ASSERT_TRUE(skin.LoadSkinLibrary());
    MainWindow window;
    ASSERT_TRUE(skin.AttachSkin());
    window.show();
    int checked = 0;
    for (const ControlSpec& control : WindowLayout()) {
        QWidget* widget = window.Control(control.name);
        ASSERT_NE(widget, nullptr) << control.name;
        widget->ensurePolished();
        QFontMetrics metrics(widget->font());
        int needed = 0;
        if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
            needed = metrics.horizontalAdvance(label->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            // Text, margins, padding and, for check boxes, the indicator.
            needed = button->sizeHint().width();
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            needed = metrics.horizontalAdvance(group->title());
        } else {
            continue;
        }
        ++checked;
        EXPECT_LE(needed, control.width) << control.name << " \"" << control.text << "\"";
    }
    EXPECT_GE(checked, 30);
}

}  // namespace
}  // namespace vela
