// vela-cli: the headless runner. Watches the ticked schemes of the window's
// database from a terminal, cron or a systemd timer.

#include <unistd.h>

#include "cli_options.h"
#include "command_database.h"
#include "commands.h"
#include "console.h"
#include "propose_command.h"
#include "stop_signal.h"
#include "store/database.h"

int main(int argc, char** argv) {
    const vela::CliParse parse = vela::ParseCliOptions(argc, argv);
    if (!parse.proceed) {
        std::fputs(parse.out.c_str(), stdout);
        if (!parse.error.empty()) std::fprintf(stderr, "vela-cli: %s\n", parse.error.c_str());
        return parse.exitCode;
    }
    const vela::CliOptions& options = parse.options;
    vela::Console console;
    console.progress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    vela::InstallStopSignals();
    // The channels' commands need no open database.
    if (options.command == vela::CliCommand::NotifyTest) {
        return vela::NotifyTestCommand(options, console);
    }
    if (options.command == vela::CliCommand::NotifyFlush) {
        return vela::NotifyFlushCommand(options, console);
    }

    // A page's schemes are proposed before any of them is in a database.
    if (options.command == vela::CliCommand::Propose) {
        return vela::ProposeCommand(options, console);
    }

    // A scheme file is tested before it is in any database.
    if (options.command == vela::CliCommand::Test && !options.file.empty()) {
        return vela::TestFileCommand(options, console);
    }

    vela::Database db;
    // A stop signal also ends a wait for another program's lock on the file.
    db.SetStopPredicate(vela::StopRequested);
    vela::WaitLongForDatabaseLock(db);
    std::string error;
    if (!vela::OpenCommandDatabase(options.databasePath, db, error)) {
        // A stop that ended the wait for a lock is a stop, not a database error.
        vela::EndByStopSignal();
        vela::PrintError(console, error);
        return vela::kExitUsage;
    }
    // Whatever a command made of a stop (an error, a short list), the program ends
    // by the signal that asked for it, once the command has returned.
    struct EndByStop {
        ~EndByStop() { vela::EndByStopSignal(); }
    } endByStop;
    switch (options.command) {
        case vela::CliCommand::Run:
            return vela::RunCommand(options, db, console);
        case vela::CliCommand::Test:
            return vela::TestCommand(options, db, console);
        case vela::CliCommand::List:
            return vela::ListCommand(options, db, console);
        case vela::CliCommand::Articles:
            return vela::ArticlesCommand(options, db, console);
        case vela::CliCommand::Export:
            return vela::ExportCommand(options, db, console);
        case vela::CliCommand::Import:
            return vela::ImportCommand(options, db, console);
        case vela::CliCommand::Edit:
            return vela::EditCommand(options, db, console);
        case vela::CliCommand::Remove:
            return vela::RemoveCommand(options, db, console);
        case vela::CliCommand::Tick:
            return vela::TickCommand(options, db, console, true);
        case vela::CliCommand::Untick:
            return vela::TickCommand(options, db, console, false);
        case vela::CliCommand::Feed:
            return vela::FeedCommand(options, db, console);
        case vela::CliCommand::Serve:
            return vela::ServeCommand(options, db, console);
        case vela::CliCommand::NotifyTest:
        case vela::CliCommand::NotifyFlush:
        case vela::CliCommand::Propose:
        case vela::CliCommand::None:
            break;
    }
    return vela::kExitUsage;
}
