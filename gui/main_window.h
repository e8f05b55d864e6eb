#pragma once

#include <QFont>
#include <QWidget>
#include <functional>

class QMenu;
class QAction;

namespace vela {

// The interface font the layout's sizes are made for: a CJK font at 12 pixels
// whose Latin letters are half as wide as a Chinese character.
QFont InterfaceFont();

// The one top-level window with every control of the layout. Code finds a control
// by its name: Control<QPushButton>("运行").
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow();

    template <class T = QWidget>
    T* Control(const char* name) const {
        return findChild<T*>(QString::fromUtf8(name));
    }
    // The pop-up menus 方案, 文章, 收藏 and 托盘菜单, and their items by caption.
    QMenu* Menu(const char* name) const;
    QAction* MenuItem(const char* menu, const char* item) const;

    // Switches the tab control to `page` as the program's own change: the page
    // handler, which answers the user's page changes, does not run for it.
    void ShowPage(int page);

    // Window events the shell forwards; set by the start-up code.
    std::function<void()> onActivated;
    std::function<void()> onMinimised;
    std::function<void()> onCloseRequested;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void PlacePageControls();

    QPoint dragOffset_;
    bool dragging_ = false;
};

}  // namespace vela
