#include "channel_delivery.h"

#include <sys/stat.h>

#include <QTimer>
#include <atomic>
#include <mutex>
#include <thread>

#include "engine/now_text.h"
#include "fetch/encoding.h"
#include "main_window.h"
#include "notify/channel_file.h"
#include "notify/stored_delivery.h"
#include "status_box.h"
#include "store/database.h"

namespace vela {
namespace {

// How often the GUI thread looks whether the delivery thread is done: it touches
// no widget itself, so its outcome is picked up here.
constexpr int kPollMs = 500;

class Delivery {
public:
    ~Delivery() { Stop(); }

    // The start of a channel seen for the first time: the newest article when the
    // cycle began, so that the cycle's own articles reach it.
    void SetFloor(int64_t floor) { floor_ = floor; }

    void Request(MainWindow& window, std::string databasePath) {
        databasePath_ = std::move(databasePath);
        again_ = true;
        StartIfIdle(window);
    }

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        stop_ = false;
        again_ = false;
    }

private:
    void StartIfIdle(MainWindow& window) {
        if (running_) return;  // the delivery under way starts the next one
        again_ = false;
        ChannelFile file = ReadChannelFile(ChannelFilePath());
        struct stat st {};
        if (file.channels.empty() &&
            ::stat(Outbox::FolderBeside(databasePath_).c_str(), &st) != 0) {
            return;  // nowhere to send, nothing waiting
        }
        if (thread_.joinable()) thread_.join();  // finished: running_ is false
        running_ = true;
        finished_ = false;
        thread_ = std::thread(
            [this, channels = std::move(file.channels), path = databasePath_, floor = floor_] {
                DeliveryContext context = DefaultDeliveryContext();
                context.send.stopped = [this] { return stop_.load(); };
                NotifyReport report = DeliverStored(channels, path, floor, context);
                std::lock_guard lock(mutex_);
                report_ = std::move(report);
                finished_ = true;
            });
        Poll(window);
    }

    void Poll(MainWindow& window) {
        QTimer::singleShot(kPollMs, &window, [this, &window] {
            {
                std::lock_guard lock(mutex_);
                if (!finished_) {
                    Poll(window);
                    return;
                }
                for (const std::string& error : report_.errors) {
                    AppendStatus(window, "\r\n" + Gbk("通知发送失败：") + Utf8ToGbk(error) +
                                             "----" + NowText());
                }
                report_ = {};
            }
            if (thread_.joinable()) thread_.join();
            running_ = false;
            if (again_) StartIfIdle(window);
        });
    }

    std::string databasePath_;  // GUI thread only
    int64_t floor_ = -1;        // GUI thread only
    bool again_ = false;        // GUI thread only: articles stored since the last start
    bool running_ = false;      // GUI thread only
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    bool finished_ = false;
    NotifyReport report_;
};

Delivery& TheDelivery() {
    static Delivery delivery;
    return delivery;
}

}  // namespace

std::string PrepareChannelDelivery(MainWindow& window, Database& db, bool monitoringStarts) {
    const std::vector<std::string> channels = ReadChannelFile(ChannelFilePath()).channels;
    std::string bad = BadChannel(channels);
    if (!bad.empty()) return bad;
    int64_t floor = -1;
    if (!HighestArticleId(db, floor)) floor = -1;
    TheDelivery().SetFloor(floor);
    if (monitoringStarts || !EveryChannelMarked(channels, db.Path())) {
        TheDelivery().Request(window, db.Path());
    }
    return {};
}

void DeliverToChannels(MainWindow& window, const std::string& databasePath) {
    TheDelivery().Request(window, databasePath);
}

void StopChannelDelivery() { TheDelivery().Stop(); }

}  // namespace vela
