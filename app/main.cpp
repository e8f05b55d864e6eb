// Program entry: creates the shared objects, the window and its tray icon, binds
// every subsystem's handlers and runs the event loop.

#include <QApplication>
#include <QScreen>

#include "app/gui_thread.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/tray_icon.h"
#include "app/window_events.h"
#include "store/database.h"
#include "store/database_startup.h"
#include "store/list_commands.h"
#include "store/list_fill.h"
#include "store/query_cursor.h"
#include "store/sql_console.h"

namespace {

// The objects that live from program entry to program end.
struct Program {
    vela::Database database;
    vela::QueryCursor cursor;
};

// Runs once, whichever way the program ends.
void OnProgramEnd(Program& program) {
    static bool done = false;
    if (done) return;
    done = true;
    vela::BeginProgramEnd();
    program.database.CloseDatabase();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Closing a message box while the window sits in the tray must not end the program.
    app.setQuitOnLastWindowClosed(false);
    vela::InitGuiThread();

    Program program;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&program] { OnProgramEnd(program); });

    vela::MainWindow window;
    vela::TrayIcon tray(&window);
    vela::BindWindowEvents(window, tray, [&tray] { tray.SetAlert(false); });
    vela::BindSqlConsole(program.database, window);
    vela::BindListCommands(window, program.cursor, program.database);

    vela::StartupSteps steps;
    steps.startDatabase = [&] {
        return vela::StartDatabase(program.database, window, vela::DatabasePath());
    };
    steps.fillLists = [&] {
        vela::FillArticleList(window, program.cursor, program.database);
        vela::FillSchemeList(window, program.cursor, program.database);
        vela::FillFavouriteList(window, program.cursor, program.database);
    };
    vela::OnWindowCreated(window, tray, steps);

    if (QScreen* screen = window.screen()) {
        QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    int code = app.exec();
    OnProgramEnd(program);
    return code;
}
