#include "main_window.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QWindow>
#include <map>

#include "field_hints.h"
#include "keyword_boxes.h"
#include "list_columns.h"
#include "window_layout.h"

// Resources compiled into a static library are registered explicitly.
static void InitResources() { Q_INIT_RESOURCE(resources); }

namespace vela {
namespace {

const char* const kRectProperty = "designRect";

// The four entries of the pattern box: a syntax reminder and three ready-made
// patterns for a common forum board layout.
const char* const kPatternEntries[] = {
    "*\u3000必填，(\\d*)代表数字\u3000(.*?)表示字符串\u3000下面3个是DZ论坛常用规则",
    R"re(<a href=\"(.*?)\".*?onclick=\"atarget\(this\)\" class=.*?xst\">(.*?)</a>)re",
    R"re(<a href="(.*?)" onclick=\"atarget\(this\)\" class=\"xst\" >(.*?)</a>)re",
    R"re(<a href="(.*?)" onclick=\"atarget\(this\)\" class=\".*?xst\" >(.*?)</a>)re",
};

struct MenuSpec {
    const char* name;
    std::initializer_list<const char*> items;  // "" is a separator, "-x" starts disabled
};

const MenuSpec kMenus[] = {
    {"方案",
     {"新建监控方案", "", "-编辑", "-删除", "-复制", "", "默认勾选", "", "导入方案…", "导出方案…"}},
    {"文章", {"-收藏文章", "-删除文章", "清空列表"}},
    {"收藏", {"删除收藏", "导出所有收藏"}},
    {"托盘菜单", {"关于...", "退出"}},
};

QString Utf8(const char* text) { return QString::fromUtf8(text); }

QWidget* CreateControl(const ControlSpec& control, QWidget* parent) {
    QString text = Utf8(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(text, parent);
            if (control.flags & kOpaque) label->setAutoFillBackground(true);
            widget = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, parent);
            edit->setCursorPosition(0);  // a long default shows its start
            if (control.flags & kCentred) edit->setAlignment(Qt::AlignCenter);
            if (control.flags & kIntegerInput) {
                edit->setValidator(
                    new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
            }
            edit->setReadOnly(control.flags & kReadOnly);
            widget = edit;
            break;
        }
        case ControlKind::MultiEdit: {
            auto* edit = new QPlainTextEdit(text, parent);
            edit->setReadOnly(control.flags & kReadOnly);
            edit->setVerticalScrollBarPolicy((control.flags & kVScroll) ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            widget = edit;
            break;
        }
        case ControlKind::Button:
            widget = new QPushButton(text, parent);
            break;
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(text, parent);
            box->setChecked(control.flags & kChecked);
            if (control.flags & kCaptionLeft) box->setLayoutDirection(Qt::RightToLeft);
            widget = box;
            break;
        }
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(text, parent);
            radio->setChecked(control.flags & kChecked);
            widget = radio;
            break;
        }
        case ControlKind::GroupBox:
            widget = new QGroupBox(text, parent);
            break;
        case ControlKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setCompleter(nullptr);
            for (const char* entry : kPatternEntries) combo->addItem(Utf8(entry));
            combo->setCurrentIndex(-1);
            combo->setEditText(QString());
            widget = combo;
            break;
        }
        case ControlKind::ListView: {
            auto* list = new QTableWidget(parent);
            list->setEditTriggers(QAbstractItemView::NoEditTriggers);
            list->setSelectionBehavior(QAbstractItemView::SelectRows);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setSortingEnabled(false);
            list->verticalHeader()->hide();
            list->setShowGrid(control.flags & kGridLines);
            list->setWordWrap(false);
            list->verticalHeader()->setDefaultSectionSize(20);
            list->horizontalHeader()->setHighlightSections(false);
            list->setContextMenuPolicy(Qt::CustomContextMenu);
            widget = list;
            break;
        }
        case ControlKind::TabControl: {
            auto* tab = new QTabWidget(parent);
            for (const char* caption : TabPageCaptions()) tab->addTab(new QWidget, Utf8(caption));
            widget = tab;
            break;
        }
        case ControlKind::HtmlBox: {
            auto* box = new QTextBrowser(parent);
            box->setFrameShape(QFrame::NoFrame);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->document()->setDocumentMargin(0);
            box->viewport()->setAutoFillBackground(false);
            box->setOpenExternalLinks(true);
            // A one-line strip of text: no frame or padding, whatever the skin says.
            box->setStyleSheet(
                "QTextBrowser { border: none; padding: 0; margin: 0; background: transparent; }");
            widget = box;
            break;
        }
        case ControlKind::BrowserBox: {
            auto* box = new QTextBrowser(parent);
            box->setOpenExternalLinks(true);
            box->setSource(QUrl("qrc:/welcome.html"));
            widget = box;
            break;
        }
    }
    widget->setObjectName(Utf8(control.name));
    widget->setGeometry(control.x, control.y, control.width, control.height);
    if (control.flags & kHidden) widget->hide();
    if (control.flags & kDisabled) widget->setEnabled(false);
    return widget;
}

}  // namespace

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    InitResources();
    setObjectName("MainWindow");
    setWindowTitle(QString::fromUtf8("澜栖网站更新监控工具 v1.2"));
    setFixedSize(kWindowWidth, kWindowHeight);
    setFont(InterfaceFont());
    BuildControls();
    BuildMenus();
}

QFont InterfaceFont() {
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("NSimSun"),
                      QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(12);
    return font;
}

void MainWindow::ShowPage(int page) {
    auto* tab = Control<QTabWidget>("选择夹");
    QSignalBlocker quiet(tab);
    tab->setCurrentIndex(page);
}

void MainWindow::BuildControls() {
    std::map<QString, QWidget*> byName;
    auto* tab = static_cast<QTabWidget*>(nullptr);
    for (const ControlSpec& control : WindowLayout()) {
        QString parentName = Utf8(control.parent);
        QWidget* parent = this;
        bool onPage = parentName.contains('/');
        if (onPage) {
            parent = tab->widget(parentName.section('/', 1).toInt());
        } else if (!parentName.isEmpty()) {
            parent = byName.at(parentName);
        }
        QWidget* widget = CreateControl(control, parent);
        if (onPage) widget->setProperty(kRectProperty, widget->geometry());
        byName[widget->objectName()] = widget;
        if (control.kind == ControlKind::TabControl) tab = static_cast<QTabWidget*>(widget);
    }
    // Page controls are placed relative to the tab control's corner: move them
    // whenever the pages' own place inside the tab control changes.
    tab->findChild<QStackedWidget*>()->installEventFilter(this);
    PlacePageControls();
    SetUpListColumns(*this);
    SetUpFieldHints(*this);
    SetUpKeywordBoxes(*this);
}

void MainWindow::PlacePageControls() {
    auto* tab = Control<QTabWidget>("选择夹");
    for (int i = 0; i < tab->count(); ++i) {
        QWidget* page = tab->widget(i);
        QPoint offset = page->mapTo(tab, QPoint(0, 0));
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVariant rect = child->property(kRectProperty);
            if (rect.isValid()) child->setGeometry(rect.toRect().translated(-offset));
        }
    }
}

void MainWindow::BuildMenus() {
    for (const MenuSpec& layout : kMenus) {
        auto* menu = new QMenu(this);
        menu->setObjectName(Utf8(layout.name));
        for (const char* item : layout.items) {
            if (*item == '\0') {
                menu->addSeparator();
                continue;
            }
            bool disabled = *item == '-';
            QAction* action = menu->addAction(Utf8(disabled ? item + 1 : item));
            action->setObjectName(action->text());
            action->setEnabled(!disabled);
        }
    }
}

QMenu* MainWindow::Menu(const char* name) const {
    return findChild<QMenu*>(Utf8(name), Qt::FindDirectChildrenOnly);
}

QAction* MainWindow::MenuItem(const char* menu, const char* item) const {
    QMenu* m = Menu(menu);
    return m ? m->findChild<QAction*>(Utf8(item)) : nullptr;
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        if (onMinimised) onMinimised();
    } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        if (onActivated) onActivated();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onCloseRequested) onCloseRequested();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Dragging on the window's background moves the window.
void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
    } else {
        dragging_ = false;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) PlacePageControls();
    return QWidget::eventFilter(watched, event);
}

}  // namespace vela
