// The built-in style sheet as Qt reads it: it must parse without a warning and
// reach the controls of the main window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "skin/skin.h"

namespace vela {
namespace {

QStringList warnings;

// Qt reports a style sheet it cannot parse as a warning naming the style sheet;
// other warnings (the offscreen platform's) do not concern the skin.
void Record(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg &&
        message.contains("stylesheet", Qt::CaseInsensitive)) {
        warnings << message;
    }
}

TEST(SkinStyle, AppliesToTheWindowControlsWithoutWarnings) {
    Skin skin([](std::string_view sheet) {
        qApp->setStyleSheet(QString::fromUtf8(sheet.data(), static_cast<qsizetype>(sheet.size())));
    });
    const QtMessageHandler previous = qInstallMessageHandler(Record);
    ASSERT_TRUE(skin.LoadSkinLibrary());
    ASSERT_TRUE(skin.AttachSkin());

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget;
    auto* table = new QTableWidget(3, 2);
    tabs->addTab(table, "list");
    auto* group = new QGroupBox("group");
    auto* groupLayout = new QVBoxLayout(group);
    auto* button = new QPushButton("button");
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->addItems({"one", "two"});
    for (QWidget* w : std::initializer_list<QWidget*>{
             button, new QLineEdit("line"), new QPlainTextEdit("text"), combo,
             new QCheckBox("check"), new QRadioButton("radio")}) {
        groupLayout->addWidget(w);
    }
    layout->addWidget(tabs);
    layout->addWidget(group);
    window.show();
    QApplication::processEvents();
    for (QWidget* w : window.findChildren<QWidget*>()) w->ensurePolished();
    window.grab();  // paints every control with the sheet's rules
    qInstallMessageHandler(previous);

    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
    EXPECT_TRUE(qApp->styleSheet().startsWith("\n/* vela window skin"));
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor("#f3f5f8"));
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor("#1f2933"));
}

}  // namespace
}  // namespace vela
