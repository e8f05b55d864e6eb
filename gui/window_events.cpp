#include "window_events.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>

#include "desktop_notification.h"
#include "gbk_text.h"
#include "gui_thread.h"
#include "main_window.h"
#include "message_box.h"

namespace vela {

void OnTabChanged(MainWindow& window, int page) {
    window.Control("状态")->setVisible(page >= 1 && page <= 3);
}

void OnWindowResized(MainWindow& window, bool trayShown) {
    // Without a tray icon a hidden window could not be brought back: it then
    // stays on the taskbar. The hide waits until the minimise has been processed.
    if (!trayShown || !window.isMinimized()) return;
    QTimer::singleShot(0, &window, [&window] {
        if (window.isMinimized()) window.hide();
    });
}

void OnTrayEvent(MainWindow& window, TrayAction action, const std::function<void()>& clearAlert) {
    if (action == TrayAction::RightClick) {
        if (window.isVisible()) {
            window.raise();
            window.activateWindow();
        }
        QMenu* menu = window.Menu("托盘菜单");
        QPoint at = QCursor::pos() - QPoint(5, 5);
        at.rx() -= menu->sizeHint().width();  // right-aligned at the point
        menu->popup(at);
        return;
    }
    window.showNormal();
    window.raise();
    window.activateWindow();
    if (clearAlert) clearAlert();
}

void OnAbout() {
    ShowMessage(Gbk("澜栖网站更新监控工具 v1.2，由澜栖工作室编写。"),
                Gbk("关于 澜栖网站更新监控工具"), true);
}

void OnExit() {
    BeginProgramEnd();
    QCoreApplication::exit(0);
}

void ShowNotYetAvailable() { ShowMessage(Gbk("此功能下个版本见!")); }

void BindWindowEvents(MainWindow& window, TrayIcon& tray, std::function<void()> clearAlert) {
    auto* tab = window.Control<QTabWidget>("选择夹");
    QObject::connect(tab, &QTabWidget::currentChanged, &window,
                     [&window](int page) { OnTabChanged(window, page); });
    window.onActivated = clearAlert;
    window.onMinimised = [&window, &tray] { OnWindowResized(window, tray.IsShown()); };
    window.onCloseRequested = OnExit;
    tray.onAction = [&window, clearAlert](TrayAction action) {
        OnTrayEvent(window, action, clearAlert);
    };
    // A click on the desktop notification brings the window back as the tray does.
    SetNotificationClickHandler(
        [&window, clearAlert] { OnTrayEvent(window, TrayAction::LeftClick, clearAlert); });
    QObject::connect(window.MenuItem("托盘菜单", "关于..."), &QAction::triggered, &window, OnAbout);
    QObject::connect(window.MenuItem("托盘菜单", "退出"), &QAction::triggered, &window, OnExit);
    for (auto [menu, item] : {std::pair{"方案", "删除"},
                              {"文章", "删除文章"},
                              {"文章", "清空列表"},
                              {"收藏", "导出所有收藏"}}) {
        QObject::connect(window.MenuItem(menu, item), &QAction::triggered, &window,
                         ShowNotYetAvailable);
    }
}

}  // namespace vela
