// Program entry: creates the shared objects, the window and its tray icon, binds
// every subsystem's handlers and runs the event loop.

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QScreen>
#include <QSoundEffect>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "gui/channel_delivery.h"
#include "gui/channels_dialog.h"
#include "gui/command_line.h"
#include "gui/database_startup.h"
#include "gui/gui_thread.h"
#include "gui/list_commands.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/monitor_state.h"
#include "gui/monitoring.h"
#include "gui/propose_dialog.h"
#include "gui/remembered_settings.h"
#include "gui/scheme_editor.h"
#include "gui/sql_console.h"
#include "gui/startup.h"
#include "gui/tray_icon.h"
#include "gui/window_events.h"
#include "skin/skin.h"
#include "store/database.h"
#include "store/database_location.h"
#include "store/query_cursor.h"

namespace {

// The name of the desktop entry and the icon (packaging/).
constexpr const char* kDesktopId = "example.lanqi.vela";

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The objects that live from program entry to program end.
struct Program {
    vela::Database database;
    vela::QueryCursor cursor;
    vela::MonitorState monitorState;
};

// Runs once at program end: monitoring stops, the database closes. A worker still
// busy after a short wait (a long match) is not waited for: with the database
// closed under its lock nothing more can be written, and the process ends at once.
void OnProgramEnd(Program& program, vela::MonitorContext& monitor) {
    vela::BeginProgramEnd();
    bool workerDone = vela::StopMonitoringForExit(monitor);
    program.monitorState.CheckedSchemeRows.clear();
    program.database.CloseDatabase();
    // A delivery to the channels still running is cut short; its messages stay
    // in the outbox for the next time.
    vela::StopChannelDelivery();
    if (!workerDone) _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    // --help needs no window, nor a display to show one on. Qt's own options are
    // still among these arguments: only the help is acted on here.
    if (vela::ParseCommandLine({argv + std::min(argc, 1), argv + argc}).help) {
        std::fputs(vela::CommandLineUsage().c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // Closing a message box while the window sits in the tray must not end the program.
    app.setQuitOnLastWindowClosed(false);
    // Message boxes and menus use the window's font too.
    app.setFont(vela::InterfaceFont());
    app.setDesktopFileName(kDesktopId);
    QIcon icon;
    for (int size : {16, 32, 48, 128}) icon.addFile(QString(":/vela-%1.png").arg(size));
    app.setWindowIcon(icon);
    std::vector<std::string> args;
    for (const QString& arg : app.arguments().mid(1)) args.push_back(LocalPath(arg));
    vela::CommandLine options = vela::ParseCommandLine(args);
    if (!options.error.empty()) {
        std::fprintf(stderr, "vela: %s\n%s", options.error.c_str(),
                     vela::CommandLineUsage().c_str());
        return 2;
    }
    vela::DatabaseLocation location = vela::ChooseDatabaseLocation(vela::GatherLocationInput(
        LocalPath(QCoreApplication::applicationDirPath()), options.databasePath));
    vela::InitGuiThread();

    Program program;
    // The skin library is mapped before the window exists and attached once it does;
    // when either step fails the window keeps the plain look.
    vela::Skin skin([&app](std::string_view sheet) {
        app.setStyleSheet(QString::fromUtf8(sheet.data(), static_cast<qsizetype>(sheet.size())));
    });
    skin.LoadSkinLibrary();
    vela::MainWindow window;
    vela::TrayIcon tray(&window);
    QSoundEffect sound;
    sound.setSource(QUrl("qrc:/alert.wav"));

    vela::MonitorContext monitor{
        {window, program.database, program.monitorState},
        program.cursor,
        {window, tray, program.monitorState, [&sound] { sound.play(); }, &program.database},
        {},
    };
    vela::BindWindowEvents(window, tray,
                           [&monitor] { vela::NewArticleAlert(false, monitor.alert); });
    vela::BindSqlConsole(program.database, window);
    vela::BindChannelsDialog(window);
    vela::BindListCommands(window, program.cursor, program.database);
    vela::BindMonitoring(monitor);
    vela::EditorContext editor{window, program.database, program.cursor};
    vela::BindSchemeEditor(editor);
    vela::BindProposeButton(editor);
    vela::BindRememberedSettings(window);

    vela::StartupSteps steps;
    steps.attachSkin = [&skin] { skin.AttachSkin(); };
    steps.startDatabase = [&] {
        // An installed program makes the user's database on its first start.
        std::string error;
        if (!vela::EnsureDatabaseFile(location, error)) {
            std::fprintf(stderr, "vela: %s\n", error.c_str());
        }
        return vela::StartDatabase(program.database, window, location.path);
    };
    steps.fillLists = [&] {
        vela::FillArticleList(window, program.cursor, program.database);
        vela::FillSchemeList(window, program.cursor, program.database);
        vela::FillFavouriteList(window, program.cursor, program.database);
    };
    vela::OnWindowCreated(window, tray, steps);

    if (!vela::ProgramEnding()) {
        if (QScreen* screen = window.screen()) {
            QRect area = screen->availableGeometry();
            window.move(area.center() - window.rect().center());
        }
        window.show();
    }
    if (options.quitAfterStart) {
        QTimer::singleShot(0, &app, [&] { app.exit(window.isVisible() ? 0 : 1); });
    }
    int code = vela::RunEventLoop();
    OnProgramEnd(program, monitor);
    return code;
}
