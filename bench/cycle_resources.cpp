// Processor time and resident memory of monitoring: 20 shortened cycles against a
// 1 MiB page served on loopback, then a quiet wait. Prints the figures.
//
//   build/bench/vela_cycle_resources

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "gui/gui_thread.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/monitor_state.h"
#include "gui/monitoring.h"
#include "gui/responsive_wait.h"
#include "gui/tray_icon.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string BoardPage() {
    std::string page = "<html><ul>\r\n";
    const std::string filler(480, ' ');
    for (int i = 2000; i > 0; --i) {
        std::string n = std::to_string(i);
        page +=
            "<li id=" + n + ">" + filler + "<a href=\"/t/" + n + "\">Title " + n + "</a></li>\r\n";
    }
    return page + "</ul></html>";
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vela::InitGuiThread();
    const std::string page = BoardPage();
    vela::test::LoopbackHttpServer server([&](const std::string&) {
        return vela::test::CannedReply{vela::test::SimpleResponse("200 OK", page)};
    });
    vela::test::TestDatabaseFile file;  // made from the delivered schema
    vela::Database db;
    db.OpenDatabase(file.path(), false);
    db.ExecSql(
        "insert into rule(code,name,url,buquan,regular,before,after,tindex,uindex,oindex,isdo,type)"
        " values('1','bench','" +
        server.Url("/") +
        "','[1]','<a href=\"(.*?)\">(.*?)</a>','<ul>',"
        "'</ul>','2','1','1','1','0')");
    vela::QueryCursor cursor;
    vela::MainWindow window;
    vela::TrayIcon tray;
    vela::MonitorState state;
    vela::FillSchemeList(window, cursor, db);
    vela::MonitorContext monitor{{window, db, state}, cursor, {window, tray, state, {}}, {}};
    monitor.process.timings = {50, 50, 1, 0, 5000, 5000};
    window.Control<QCheckBox>("自动监控框")->setChecked(true);
    window.Control<QLineEdit>("频率框")->setText("10");

    int cycles = 0;
    long rssAfterFirst = 0, rssAfterLast = 0;
    double cpuAfterFirst = 0, cpuAfterLast = 0;
    QTimer watcher;
    size_t lastRequests = 0;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        size_t requests = server.Requests().size();
        if (requests == lastRequests || state.WorkerBusy != 0) return;
        lastRequests = requests;
        ++cycles;
        if (cycles == 1) {
            rssAfterFirst = ResidentKiB();
            cpuAfterFirst = CpuSeconds();
        }
        if (cycles == 20) {
            rssAfterLast = ResidentKiB();
            cpuAfterLast = CpuSeconds();
            vela::ToggleMonitoring(monitor);
        }
    });
    watcher.start(1);
    vela::ToggleMonitoring(monitor);
    watcher.stop();

    double idleStart = CpuSeconds();
    vela::ResponsiveWait(3000);
    double idle = CpuSeconds() - idleStart;

    std::printf("cycles: %d (1 MiB page, %zu requests)\n", cycles, server.Requests().size());
    std::printf("processor time, cycles 2-20: %.3f s (%.1f ms per cycle)\n",
                cpuAfterLast - cpuAfterFirst, (cpuAfterLast - cpuAfterFirst) * 1000 / 19);
    std::printf("resident memory after cycle 1: %ld KiB, after cycle 20: %ld KiB\n", rssAfterFirst,
                rssAfterLast);
    std::printf("processor time during a 3 s wait: %.3f s\n", idle);
    return 0;
}
