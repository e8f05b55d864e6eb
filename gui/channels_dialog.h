#pragma once

#include <QDialog>
#include <atomic>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vela {

class MainWindow;

// 通知渠道…: the channels of notify.conf, each shown with its password or token
// masked. 添加 adds the URL typed into the box (a URL no service takes is refused
// with the reason), 删除 removes the selected channel, 测试 sends the test message
// to the selected channel off the GUI thread and shows the outcome. Comments and
// other lines of the file stay as they are.
class ChannelsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChannelsDialog(std::string path, QWidget* parent = nullptr);
    // Cuts a running test short and joins its thread.
    ~ChannelsDialog() override;

    QListWidget* list = nullptr;
    QLineEdit* edit = nullptr;
    QLabel* result = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* testButton = nullptr;

private:
    void Reload();
    void OnAdd();
    void OnRemove();
    void OnTest();
    void OnTestDone(const QString& text);

    std::string path_;
    std::thread test_;
    std::atomic<bool> stop_{false};
};

// Binds 按钮_通知渠道: opens the dialog on the channels file.
void BindChannelsDialog(MainWindow& window);

}  // namespace vela
