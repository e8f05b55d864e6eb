#include "remembered_settings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSettings>

#include "main_window.h"

namespace vela {
namespace {

struct RememberedBox {
    const char* control;
    const char* key;
};

constexpr RememberedBox kBoxes[] = {
    {"图标提醒", "alert/trayIcon"},
    {"语音提醒", "alert/sound"},
    {"桌面通知", "alert/desktopNotification"},
    {"自动监控框", "monitoring/automatic"},
};
constexpr const char* kFrequencyKey = "monitoring/frequency";

}  // namespace

void RestoreSettings(MainWindow& window) {
    QSettings settings("vela", "vela");
    for (const RememberedBox& box : kBoxes) {
        // Only a value this program wrote counts; anything else keeps the default.
        QString value = settings.value(box.key).toString();
        if (value == "true" || value == "false") {
            window.Control<QCheckBox>(box.control)->setChecked(value == "true");
        }
    }
    QVariant frequency = settings.value(kFrequencyKey);
    if (frequency.isValid()) window.Control<QLineEdit>("频率框")->setText(frequency.toString());
    bool automatic = window.Control<QCheckBox>("自动监控框")->isChecked();
    window.Control("标签13")->setVisible(automatic);
    window.Control("频率框")->setVisible(automatic);
}

void SaveSettings(MainWindow& window) {
    QSettings settings("vela", "vela");
    for (const RememberedBox& box : kBoxes) {
        settings.setValue(box.key, window.Control<QCheckBox>(box.control)->isChecked());
    }
    settings.setValue(kFrequencyKey, window.Control<QLineEdit>("频率框")->text());
}

void BindRememberedSettings(MainWindow& window) {
    RestoreSettings(window);
    auto save = [&window] { SaveSettings(window); };
    for (const RememberedBox& box : kBoxes) {
        QObject::connect(window.Control<QCheckBox>(box.control), &QCheckBox::clicked, &window,
                         save);
    }
    QObject::connect(window.Control<QLineEdit>("频率框"), &QLineEdit::textEdited, &window, save);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window, save);
}

}  // namespace vela
