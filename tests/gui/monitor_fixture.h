#pragma once

#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <functional>
#include <string>

#include "gui/gbk_text.h"
#include "gui/gui_thread.h"
#include "gui/list_cells.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/monitor_state.h"
#include "gui/monitoring.h"
#include "gui/status_box.h"
#include "gui/tray_icon.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "store/sql_clean.h"
#include "tests/support/board_page.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_database.h"

namespace vela::test {

// A window, a database, the monitoring state and a server serving `page`, with
// monitoring wired as the program wires it, its pauses shortened.
class MonitorFixture {
public:
    MonitorFixture()
        : server([this](const std::string&) {
              if (onRequest) onRequest();
              CannedReply reply{SimpleResponse("200 OK", page)};
              reply.holdOpen = stall;
              if (stall) reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart";
              return reply;
          }),
          context{{window, db, state}, cursor, {window, tray, state, [this] { ++sounds; }}, {}} {
        InitGuiThread();
        db.OpenDatabase(file.path(), false);
        context.process.timings = {20, 20, 10, 1, 2000, 2000};
    }

    // Adds a scheme for the server's board page and reloads the scheme list.
    void AddScheme(int type = 0, const std::string& arttile = "", int lastid = 0,
                   const std::string& name = "board") {
        std::string sql =
            "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('1','" +
            SqlQuote(name) + "','" + server.Url("/board") + "','sid=1','TestAgent','" +
            SqlQuote(arttile) +
            "','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>','<ul>',"
            "'</ul>','3','1','1','1','" +
            std::to_string(lastid) + "','" + std::to_string(type) + "')";
        db.ExecSql(sql);
        FillSchemeList(window, cursor, db);
    }

    TextTable Rows(const std::string& sql) { return QueryRows(db, sql); }

    std::string Status() { return StatusText(window); }

    TestDatabaseFile file;
    Database db;
    QueryCursor cursor;
    MainWindow window;
    TrayIcon tray;
    MonitorState state;
    MessageRecorder messages;
    std::string page = BoardPage({3, 2, 1});
    std::atomic<bool> stall{false};
    // Called on the server's thread as each request arrives.
    std::function<void()> onRequest;
    LoopbackHttpServer server;
    int sounds = 0;
    MonitorContext context;
};

}  // namespace vela::test
