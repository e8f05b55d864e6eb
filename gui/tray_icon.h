#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

namespace vela {

// Mouse actions on the tray icon that the program answers.
enum class TrayAction { LeftClick = 1, LeftDoubleClick = 2, RightClick = 3 };

// The notification-area icon with the tooltip "澜栖监控".
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);

    // Shows the normal icon; false when the desktop has no notification area.
    bool Show();
    bool IsShown() const { return icon_.isVisible(); }
    // Switches between the normal and the alert icon.
    void SetAlert(bool alert);
    bool IsAlert() const { return alert_; }
    // A desktop notification from the icon; nothing when the icon is not shown.
    void ShowMessage(const QString& title, const QString& text);

    std::function<void(TrayAction)> onAction;

private:
    QSystemTrayIcon icon_;
    bool alert_ = false;
};

}  // namespace vela
