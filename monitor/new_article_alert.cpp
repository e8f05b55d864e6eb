#include "new_article_alert.h"

#include <QCheckBox>

#include "app/desktop_notification.h"
#include "app/gbk_text.h"
#include "app/main_window.h"
#include "app/status_box.h"
#include "app/tray_icon.h"
#include "monitor_state.h"
#include "now_text.h"

namespace vela {

void NewArticleAlert(bool raise, AlertContext& context) {
    MainWindow& window = context.window;
    bool iconAlert = window.Control<QCheckBox>("图标提醒")->isChecked();
    if (!raise) {
        if (iconAlert) context.tray.SetAlert(false);
        return;
    }
    if (window.Control<QCheckBox>("语音提醒")->isChecked() && context.playSound) {
        context.playSound();
    }
    if (iconAlert) context.tray.SetAlert(true);
    NewArticleDigest::Snapshot news = context.state.NewArticles.Take();
    if (window.Control<QCheckBox>("桌面通知")->isChecked() && news.count > 0) {
        ShowNotification(context.tray, NewArticleNotification(news));
    }
    AppendStatus(window, "\r\n" + Gbk("发现有新内容，已发出提醒通知！----") + NowText());
    context.state.NewArticlesFound = 0;
}

}  // namespace vela
