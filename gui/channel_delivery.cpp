#include "channel_delivery.h"

#include <sys/stat.h>

#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/now_text.h"
#include "fetch/encoding.h"
#include "main_window.h"
#include "notify/channel_file.h"
#include "notify/deliver.h"
#include "status_box.h"

namespace vela {
namespace {

// How often the GUI thread looks whether the delivery thread is done: it touches
// no widget itself, so its outcome is picked up here.
constexpr int kPollMs = 500;

class Delivery {
public:
    ~Delivery() { Stop(); }

    void Add(MainWindow& window, std::vector<NotifyArticle> articles, std::string databasePath) {
        pending_.insert(pending_.end(), std::make_move_iterator(articles.begin()),
                        std::make_move_iterator(articles.end()));
        databasePath_ = std::move(databasePath);
        StartIfIdle(window);
    }

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        stop_ = false;
    }

private:
    void StartIfIdle(MainWindow& window) {
        if (running_) return;
        const std::string path = ChannelFilePath();
        ChannelFile file = ReadChannelFile(path);
        const std::string outbox = Outbox::FolderBeside(databasePath_);
        struct stat st {};
        if (file.channels.empty() && ::stat(outbox.c_str(), &st) != 0) {
            pending_.clear();  // nowhere to send, nothing waiting
            return;
        }
        if (thread_.joinable()) thread_.join();  // finished: running_ is false
        running_ = true;
        finished_ = false;
        thread_ = std::thread(
            [this, channels = std::move(file.channels), articles = std::move(pending_), outbox] {
                DeliveryContext context = DefaultDeliveryContext();
                context.send.stopped = [this] { return stop_.load(); };
                Outbox box(outbox);
                NotifyReport report = DeliverCycle(channels, articles, box, context);
                std::lock_guard lock(mutex_);
                report_ = std::move(report);
                finished_ = true;
            });
        pending_.clear();
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
            if (!pending_.empty()) StartIfIdle(window);
        });
    }

    std::vector<NotifyArticle> pending_;  // GUI thread only
    std::string databasePath_;
    bool running_ = false;  // GUI thread only
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

void DeliverToChannels(MainWindow& window, const std::vector<NewArticle>& recorded,
                       const std::string& databasePath) {
    std::vector<NotifyArticle> articles;
    articles.reserve(recorded.size());
    for (const NewArticle& a : recorded) {
        articles.push_back({GbkToUtf8(a.schemeId), GbkToUtf8(a.scheme), GbkToUtf8(a.title),
                            GbkToUtf8(a.link), GbkToUtf8(a.other), GbkToUtf8(a.time)});
    }
    TheDelivery().Add(window, std::move(articles), databasePath);
}

void StopChannelDelivery() { TheDelivery().Stop(); }

}  // namespace vela
