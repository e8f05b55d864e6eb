#include "new_article_alert.h"

#include <QCheckBox>

#include "channel_delivery.h"
#include "desktop_notification.h"
#include "engine/now_text.h"
#include "gbk_text.h"
#include "main_window.h"
#include "monitor_state.h"
#include "new_article_notification.h"
#include "status_box.h"
#include "store/database.h"
#include "tray_icon.h"

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
    if (context.database && !news.all.empty()) {
        DeliverToChannels(window, context.database->Path());
    }
    AppendStatus(window, "\r\n" + Gbk("发现有新内容，已发出提醒通知！----") + NowText());
    context.state.NewArticlesFound = 0;
}

}  // namespace vela
