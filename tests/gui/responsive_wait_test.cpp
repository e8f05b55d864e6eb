#include "gui/responsive_wait.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "gui/gui_thread.h"

namespace vela {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

TEST(ResponsiveWait, GuiThreadHandlesEventsDuringTheWait) {
    InitGuiThread();
    bool handled = false;
    QTimer::singleShot(50, [&] { handled = true; });
    auto start = Clock::now();
    EXPECT_TRUE(ResponsiveWait(300));
    EXPECT_TRUE(handled);
    EXPECT_GE(Since(start), 290);
}

TEST(ResponsiveWait, NestedWaitsEndInnerFirst) {
    std::vector<int> order;
    QTimer::singleShot(20, [&] {
        ResponsiveWait(200);
        order.push_back(1);
    });
    ResponsiveWait(100);  // its timer fires while the inner wait still runs
    order.push_back(2);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(ResponsiveWait, PlainThreadWaitsAndIsCutShortByAStop) {
    long long full = 0;
    std::thread([&] {
        auto start = Clock::now();
        ResponsiveWait(150);
        full = Since(start);
    }).join();
    EXPECT_GE(full, 145);

    std::atomic<long long> cut{-1};
    std::thread waiter([&] {
        auto start = Clock::now();
        ResponsiveWait(60'000);
        cut = Since(start);
    });
    // A wake that comes before the waiter waits is lost, so keep waking until it ends.
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (cut < 0 && Clock::now() < deadline) {
        WakeWaits();
        std::this_thread::sleep_for(milliseconds(5));
    }
    waiter.join();
    EXPECT_LT(cut, 10'000);
}

}  // namespace
}  // namespace vela
