#include <thread>

#include "commands.h"
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
    if (!address.loopback && options.token.empty()) {
        PrintError(console, "listening on " + options.listen +
                                " lets other machines in: give --token, or listen on loopback");
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
    CheckBoard board;
    board.SetRunning(options.everySeconds > 0);
    WebSite site(reader, board, {options.token, DatabaseIdentity(db), address.host, {}});
    HttpServer server([&site](const WebRequest& request) { return site.Answer(request); }, {},
                      [&site](const WebRequest& request) { return site.AnswerAtOnce(request); });
    std::string error;
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
