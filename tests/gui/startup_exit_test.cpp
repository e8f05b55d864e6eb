// 退出 chosen while a start-up message box is open ends the program: the event
// loop that follows the start-up returns at once. A test of its own: the end of
// the program cannot be undone for later tests.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>

#include "gui/gbk_text.h"
#include "gui/gui_thread.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "gui/startup.h"
#include "gui/tray_icon.h"
#include "gui/window_events.h"

namespace vela {
namespace {

TEST(StartupExit, ExitDuringAStartupMessageEndsTheProgram) {
    InitGuiThread();
    MainWindow window;
    TrayIcon tray(&window);
    std::vector<std::string> shown;
    MessageBoxFunction previous = SetMessageBoxFunction([&](const MessageRequest& request) {
        shown.push_back(request.text);
        OnExit();  // chosen from the tray menu while the box is open
    });
    StartupSteps steps;
    steps.startDatabase = [] {
        ShowMessage(Gbk("数据库文件不存在！"), Gbk("错误"));
        return false;
    };
    OnWindowCreated(window, tray, steps);
    ASSERT_EQ(shown.size(), 1u);

    // Were the loop entered, only this guard would end it.
    bool guardFired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        guardFired = true;
        QCoreApplication::exit(1);
    });
    guard.start(3000);
    EXPECT_EQ(RunEventLoop(), 0);
    EXPECT_FALSE(guardFired);
    SetMessageBoxFunction(previous);
}

}  // namespace
}  // namespace vela
