#include <cstdlib>
#include <thread>

#include "command_database.h"
#include "commands.h"
#include "notify/channel_file.h"
#include "serve_token.h"
#include "stop_signal.h"
#include "store/database.h"
#include "web/access_rules.h"
#include "web/check_board.h"
#include "web/database_identity.h"
#include "web/http_server.h"
#include "web/read_connections.h"
#include "web/web_site.h"

namespace vela {
namespace {

// The connections' own threads; what reads the database runs on the server's
// workers, so these never wait for it.
constexpr int kServerThreads = 2;

// `serve --every`: the runner's cycles on a thread of their own, their outcome
// kept on the board for the pages. A stop signal ends a cycle and the waits.
void RunCycles(const CliOptions& options, Database& db, const Console& console, CheckBoard& board) {
    while (!StopRequested()) {
        const CycleResult cycle = RunOneCycle(options, db, console);
        // Nothing fetched: the next cycle tries again, the pages go on.
        if (!cycle.obstacle.empty()) PrintError(console, cycle.obstacle);
        if (cycle.readFailed) PrintError(console, "cannot read the schemes of " + db.Path());
        for (const SchemeCheckResult& scheme : cycle.schemes) {
            std::string error;
            for (const std::string& line : scheme.errors)
                error += (error.empty() ? "" : "；") + line;
            board.Record(scheme.schemeId, {cycle.endedAt, error});
        }
        if (!StopRequested()) board.CycleEnded(cycle.endedAt);
        if (!WaitUnlessStopped(static_cast<long long>(options.everySeconds) * 1000)) break;
    }
}

}  // namespace

int ServeCommand(const CliOptions& options, Database& db, const Console& console) {
    ListenAddress address;
    if (!ParseListenAddress(options.listen, address)) {
        PrintError(console, "--listen wants ADDRESS:PORT, such as 127.0.0.1:8571 or [::1]:8571");
        return kExitUsage;
    }
    std::string token, error, warning;
    if (!ServeToken(options, std::getenv(kServeTokenVariable), token, error, warning)) {
        PrintError(console, error);
        return kExitUsage;
    }
    if (!warning.empty()) PrintError(console, warning);
    if (!address.loopback && token.empty()) {
        PrintError(console, "listening on " + options.listen +
                                " lets other machines in: give --token (or --token-file, or " +
                                kServeTokenVariable + "), or listen on loopback");
        return kExitUsage;
    }
    if (options.everySeconds > 0) {
        // As `run` refuses: before listening, so a service manager sees the failure.
        const std::string obstacle = RunnerObstacle(options, db, console);
        if (!obstacle.empty()) {
            PrintError(console, obstacle);
            return kExitUsage;
        }
    }
    ReadConnections reader(db.Path());
    // The actions of the pages write through a connection of their own, which
    // waits for another program's lock as the runner does; a file that cannot be
    // written still serves its pages, and an action says why it cannot.
    Database writer;
    WaitLongForDatabaseLock(writer);
    writer.SetStopPredicate(&StopRequested);
    writer.OpenDatabase(db.Path(), false);
    CheckBoard board;
    board.SetRunning(options.everySeconds > 0);
    SiteSettings settings{token, DatabaseIdentity(db), address.host, {}};
    settings.writer = &writer;
    settings.channelFile = ChannelFilePath();
    settings.stopped = &StopRequested;
    WebSite site(reader, board, std::move(settings));
    HttpServer server([&site](const WebRequest& request) { return site.Answer(request); }, {},
                      [&site](const WebRequest& request) { return site.AnswerAtOnce(request); });
    if (!server.Listen(address.host, address.port, error)) {
        PrintError(console, error);
        return kExitUsage;
    }
    server.Start(kServerThreads);
    if (!options.quiet) {
        const bool v6 = address.host.find(':') != std::string::npos;
        std::fprintf(console.err, "vela-cli: serving http://%s%s%s:%u/\n", v6 ? "[" : "",
                     address.host.c_str(), v6 ? "]" : "", static_cast<unsigned>(server.Port()));
        std::fflush(console.err);
    }
    std::thread cycles;
    if (options.everySeconds > 0) {
        cycles = std::thread([&] { RunCycles(options, db, console, board); });
    }
    while (WaitUnlessStopped(3'600'000)) {
    }
    if (cycles.joinable()) cycles.join();
    server.Stop();
    EndByStopSignal();
    return kExitOk;
}

}  // namespace vela
