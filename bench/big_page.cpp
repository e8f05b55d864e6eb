// A big page in one monitoring cycle and in the rule test: the longest the GUI
// thread went without handling events, and the peak resident memory.
//
//   build/bench/vela_big_page 10      (page size in MiB; one size per process,
//                                      so each peak is that size's own)

#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "gui/gbk_text.h"
#include "gui/gui_thread.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "gui/monitor_state.h"
#include "gui/monitoring.h"
#include "gui/process_scheme.h"
#include "gui/tray_icon.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace {

long PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// 2000 entries spread over `mib` MiB of list.
std::string BoardPage(std::size_t mib) {
    const std::size_t entryBytes = (mib << 20) / 2000;
    std::string page = "<html><ul>\r\n";
    page.reserve((mib << 20) + 4096);
    for (int i = 2000; i > 0; --i) {
        std::string n = std::to_string(i);
        std::string entry = "<li id=" + n + "><a href=\"/t/" + n + "\">Title " + n + "</a>";
        entry +=
            std::string(entryBytes > entry.size() + 7 ? entryBytes - entry.size() - 7 : 0, ' ');
        page += entry + "</li>\r\n";
    }
    return page + "</ul></html>";
}

// Measures the longest gap between two ticks of a 5 ms timer on the GUI thread.
class GapMeter {
public:
    GapMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (clock_.isValid())
                longest_ = std::max(longest_, clock_.restart());
            else
                clock_.start();
        });
        timer_.start(5);
    }
    qint64 LongestMs() const { return longest_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vela::InitGuiThread();
    vela::SetMessageBoxFunction([](const vela::MessageRequest&) {});
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1;
    const std::string page = BoardPage(mib);
    vela::test::LoopbackHttpServer server([&](const std::string&) {
        return vela::test::CannedReply{vela::test::SimpleResponse("200 OK", page)};
    });
    vela::test::TestDatabaseFile file;  // made from the delivered schema
    vela::Database db;
    db.OpenDatabase(file.path(), false);
    const std::string pattern = "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>";
    db.ExecSql(
        "insert into rule(code,name,url,buquan,regular,before,after,tindex,uindex,oindex,"
        "isdo,type) values('1','bench','" +
        server.Url("/") + "','[2]','" + pattern + "','<ul>','</ul>','3','1','1','1','0')");
    vela::QueryCursor cursor;
    vela::MainWindow window;
    vela::TrayIcon tray;
    vela::MonitorState state;
    vela::FillSchemeList(window, cursor, db);
    vela::MonitorContext monitor{{window, db, state}, cursor, {window, tray, state, {}}, {}};
    monitor.process.timings = {50, 50, 1, 0, 60'000, 60'000};
    window.Control<QCheckBox>("自动监控框")->setChecked(false);

    std::printf("page: %zu MiB (%zu bytes)\n", mib, page.size());
    {
        GapMeter gaps;
        QElapsedTimer took;
        took.start();
        vela::ToggleMonitoring(monitor);  // one cycle, then it stops by itself
        std::printf(
            "monitoring cycle: %lld ms, longest GUI-thread block %lld ms, peak resident "
            "%ld MiB\n",
            took.elapsed(), gaps.LongestMs(), PeakResidentMiB());
    }
    {
        window.Control<QLineEdit>("编辑框_网址")->setText(QString::fromStdString(server.Url("/")));
        window.Control<QLineEdit>("采集前")->setText("<ul>");
        window.Control<QLineEdit>("采集后")->setText("</ul>");
        window.Control<QComboBox>("正则框")->setEditText(QString::fromStdString(pattern));
        QElapsedTimer took;
        took.start();
        vela::OnTestScheme(monitor.process);  // runs on the GUI thread as a whole
        std::printf("rule test: GUI thread busy %lld ms, peak resident %ld MiB\n", took.elapsed(),
                    PeakResidentMiB());
    }
    return 0;
}
