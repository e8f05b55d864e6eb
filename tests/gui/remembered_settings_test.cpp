#include "gui/remembered_settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "gui/main_window.h"

namespace vela {
namespace {

// Points the user's settings at a temporary folder, never the real home.
class RememberedSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
    QString File() const { return dir.filePath("vela/vela.conf"); }

    QTemporaryDir dir;
};

struct Values {
    bool icon, sound, desktop, automatic;
    QString frequency;
    bool operator==(const Values&) const = default;
    friend void PrintTo(const Values& v, std::ostream* os) {
        *os << v.icon << v.sound << v.desktop << v.automatic << " " << v.frequency.toStdString();
    }
};

Values Read(MainWindow& w) {
    return {w.Control<QCheckBox>("图标提醒")->isChecked(),
            w.Control<QCheckBox>("语音提醒")->isChecked(),
            w.Control<QCheckBox>("桌面通知")->isChecked(),
            w.Control<QCheckBox>("自动监控框")->isChecked(),
            w.Control<QLineEdit>("频率框")->text()};
}

TEST_F(RememberedSettingsTest, FirstStartKeepsTheInitialValuesAndWritesNothing) {
    MainWindow window;
    BindRememberedSettings(window);
    EXPECT_EQ(Read(window), (Values{true, true, true, false, "300"}));
    EXPECT_TRUE(window.Control("频率框")->isHidden());
    EXPECT_FALSE(QFile::exists(File()));
}

TEST_F(RememberedSettingsTest, UserChangesSurviveTheNextStart) {
    {
        MainWindow first;
        BindRememberedSettings(first);
        first.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
        for (const char* box : {"图标提醒", "桌面通知", "自动监控框"}) {
            QTest::mouseClick(first.Control<QCheckBox>(box), Qt::LeftButton, {}, QPoint(8, 12));
        }
        auto* frequency = first.Control<QLineEdit>("频率框");
        frequency->setVisible(true);  // as the monitoring handler shows it
        frequency->selectAll();
        QTest::keyClicks(frequency, "45");
    }
    ASSERT_TRUE(QFile::exists(File()));
    MainWindow second;
    BindRememberedSettings(second);
    EXPECT_EQ(Read(second), (Values{false, true, false, true, "45"}));
    // Automatic monitoring restored shows its frequency, as a click on it does.
    EXPECT_FALSE(second.Control("频率框")->isHidden());
    EXPECT_FALSE(second.Control("标签13")->isHidden());
}

TEST_F(RememberedSettingsTest, ValuesTheProgramDidNotWriteAreIgnored) {
    {
        QSettings settings("vela", "vela");
        settings.setValue("alert/trayIcon", "garbage");
        settings.setValue("alert/sound", 0);
        settings.setValue("monitoring/automatic", "true");
    }
    MainWindow window;
    RestoreSettings(window);
    EXPECT_EQ(Read(window), (Values{true, true, true, true, "300"}));
}

TEST_F(RememberedSettingsTest, QuitSavesWhatTheProgramChanged) {
    MainWindow window;
    BindRememberedSettings(window);
    window.Control<QLineEdit>("频率框")->setText("10");  // the correction of a too short frequency
    QMetaObject::invokeMethod(qApp, "aboutToQuit");      // as the end of the event loop does
    MainWindow next;
    RestoreSettings(next);
    EXPECT_EQ(next.Control<QLineEdit>("频率框")->text(), "10");
}

}  // namespace
}  // namespace vela
