// A monitoring run of the scheme in the first row of a database, as the worker
// runs it, in a process of its own so that a test can kill it at any moment.
//
//   record_child <database> <insert pause in ms>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <thread>

#include "gui/gui_thread.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "gui/monitor_state.h"
#include "gui/process_scheme.h"
#include "store/database.h"
#include "store/query_cursor.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vela::InitGuiThread();
    vela::SetMessageBoxFunction([](const vela::MessageRequest&) {});
    vela::Database db;
    if (!db.OpenDatabase(argv[1], false)) return 2;
    vela::QueryCursor cursor;
    vela::MainWindow window;
    vela::FillSchemeList(window, cursor, db);
    vela::MonitorState state;
    state.CheckedSchemeRows = {0};
    state.CheckedSchemeCount = 1;
    state.CurrentTask = 1;
    state.WorkerBusy = 1;
    vela::ProcessContext context{window, db, state};
    context.timings.insertPauseMs = std::atoi(argv[2]);
    std::thread worker([&, scheme = vela::SchemeOfCurrentTask(window, state)] {
        vela::RunMonitorTask(context, scheme);
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    int code = QApplication::exec();
    worker.join();
    return code;
}
