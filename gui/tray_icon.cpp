#include "tray_icon.h"

namespace vela {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), icon_(QIcon(":/normal.ico")) {
    icon_.setToolTip(QString::fromUtf8("澜栖监控"));
    // On X11 a double click arrives as Trigger then DoubleClick; both bring the
    // window back, so answering both is harmless.
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (!onAction) return;
        switch (r) {
            case QSystemTrayIcon::Trigger:
                onAction(TrayAction::LeftClick);
                break;
            case QSystemTrayIcon::DoubleClick:
                onAction(TrayAction::LeftDoubleClick);
                break;
            case QSystemTrayIcon::Context:
                onAction(TrayAction::RightClick);
                break;
            default:
                break;
        }
    });
}

bool TrayIcon::Show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    icon_.show();
    return true;
}

void TrayIcon::SetAlert(bool alert) {
    alert_ = alert;
    icon_.setIcon(QIcon(alert ? ":/alert.ico" : ":/normal.ico"));
}

void TrayIcon::ShowMessage(const QString& title, const QString& text) {
    icon_.showMessage(title, text, QSystemTrayIcon::Information);
}

}  // namespace vela
