#include "channels_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "main_window.h"
#include "notify/channel_file.h"
#include "notify/channel_secrets.h"
#include "notify/deliver.h"

namespace vela {
namespace {

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), text.size()); }

}  // namespace

ChannelsDialog::ChannelsDialog(std::string path, QWidget* parent)
    : QDialog(parent), path_(std::move(path)) {
    setWindowTitle(QStringLiteral("通知渠道"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("每轮发现新文章时，发送到下列渠道（%1）：").arg(Utf8(path_)), this));
    list = new QListWidget(this);
    layout->addWidget(list);
    edit = new QLineEdit(this);
    edit->setPlaceholderText(QStringLiteral("例如 tgram://bot_token/chat_id 或 mailto://..."));
    layout->addWidget(edit);
    auto* buttons = new QHBoxLayout;
    addButton = new QPushButton(QStringLiteral("添加"), this);
    removeButton = new QPushButton(QStringLiteral("删除"), this);
    testButton = new QPushButton(QStringLiteral("测试"), this);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    for (QPushButton* button : {addButton, removeButton, testButton, close}) {
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    result = new QLabel(this);
    result->setWordWrap(true);
    result->setTextFormat(Qt::PlainText);
    layout->addWidget(result);
    connect(addButton, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(testButton, &QPushButton::clicked, this, [this] { OnTest(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(560, 360);
    Reload();
}

ChannelsDialog::~ChannelsDialog() {
    stop_ = true;
    if (test_.joinable()) test_.join();
}

void ChannelsDialog::Reload() {
    list->clear();
    const ChannelFile file = ReadChannelFile(path_);
    for (const std::string& channel : file.channels) {
        auto* item = new QListWidgetItem(Utf8(MaskedChannelText(channel)), list);
        item->setData(Qt::UserRole, Utf8(channel));
    }
    if (!file.error.empty()) result->setText(Utf8(file.error));
}

void ChannelsDialog::OnAdd() {
    const std::string channel = edit->text().trimmed().toStdString();
    std::string error;
    if (!CheckChannel(channel, error)) {
        result->setText(QStringLiteral("不能添加：") + Utf8(error));
        return;
    }
    if (!AddChannelLine(path_, channel, error)) {
        result->setText(Utf8(error));
        return;
    }
    edit->clear();
    result->setText(QStringLiteral("已添加 ") + Utf8(MaskedChannelText(channel)));
    Reload();
}

void ChannelsDialog::OnRemove() {
    QListWidgetItem* item = list->currentItem();
    if (!item) return;
    const std::string channel = item->data(Qt::UserRole).toString().toStdString();
    std::string error;
    if (!RemoveChannelLine(path_, channel, error)) {
        result->setText(Utf8(error));
        return;
    }
    result->setText(QStringLiteral("已删除 ") + Utf8(MaskedChannelText(channel)));
    Reload();
}

void ChannelsDialog::OnTest() {
    QListWidgetItem* item = list->currentItem();
    if (!item || test_.joinable()) return;
    const std::string channel = item->data(Qt::UserRole).toString().toStdString();
    testButton->setEnabled(false);
    result->setText(QStringLiteral("正在发送测试消息…"));
    test_ = std::thread([this, channel] {
        DeliveryContext context = DefaultDeliveryContext();
        context.send.stopped = [this] { return stop_.load(); };
        const NotifyReport report = SendTestMessage({channel}, context);
        const QString text =
            report.failed ? QStringLiteral("测试失败：") + Utf8(report.errors.front())
                          : QStringLiteral("测试消息已发送到 ") + Utf8(report.delivered.front());
        // The dialog joins this thread before it goes: it is still there.
        QMetaObject::invokeMethod(
            this, [this, text] { OnTestDone(text); }, Qt::QueuedConnection);
    });
}

void ChannelsDialog::OnTestDone(const QString& text) {
    if (test_.joinable()) test_.join();
    result->setText(text);
    testButton->setEnabled(true);
}

void BindChannelsDialog(MainWindow& window) {
    QObject::connect(window.Control<QPushButton>("按钮_通知渠道"), &QPushButton::clicked, &window,
                     [&window] {
                         ChannelsDialog dialog(ChannelFilePath(), &window);
                         dialog.exec();
                     });
}

}  // namespace vela
