#include "cli_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <climits>
#include <sstream>
#include <vector>

namespace vela {
namespace {

constexpr const char* kDbHelp =
    "The database file (default: the one the window uses, vela.sdb beside the program or, "
    "once installed, ~/.local/share/vela/vela.sdb)";

// A scheme id as the database keeps it: decimal digits of a 64-bit integer. CLI11
// would clamp a longer number to the largest one and so name another scheme.
bool ParseSchemeId(const std::string& text, int64_t& id) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, id);
    return error == std::errc() && at == end;
}

}  // namespace

CliParse ParseCliOptions(int argc, const char* const* argv) {
    CliParse parse;
    CliOptions& o = parse.options;
    CLI::App app{"Watches the pages of the ticked schemes for new articles, without a window.",
                 "vela-cli"};
    app.require_subcommand(1);

    std::vector<CLI::Option*> dbOptions;
    CLI::App* run = app.add_subcommand("run", "Monitor every ticked scheme");
    dbOptions.push_back(run->add_option("--db", o.databasePath, kDbHelp));
    bool onceFlag = false;
    CLI::Option* once = run->add_flag("--once", onceFlag, "Run one cycle (the default)");
    run->add_option("--every", o.everySeconds, "Repeat, SECONDS apart (10 or more)")
        ->type_name("SECONDS")
        ->check(CLI::Range(kMinimumEverySeconds, INT_MAX / 1000))
        ->excludes(once);
    run->add_flag("--json", o.json, "One JSON object per new article");
    run->add_flag("--quiet", o.quiet, "Print only the articles and the errors");
    run->add_option("--jobs", o.jobs, "Schemes checked at once (default 16; 1: one by one)")
        ->type_name("N")
        ->check(CLI::Range(1, 256));
    run->add_option("--per-host", o.perHost, "Requests to one host name at once (default 2)")
        ->type_name("M")
        ->check(CLI::Range(1, 256));
    run->add_option("--notify", o.notify,
                    "Also send each cycle's new articles to this channel URL (repeatable)")
        ->type_name("URL")
        ->allow_extra_args(false);

    CLI::App* test = app.add_subcommand("test", "Run the rule test of a stored scheme");
    dbOptions.push_back(test->add_option("--db", o.databasePath, kDbHelp));
    std::string schemeId;
    test->add_option("SCHEME_ID", schemeId, "The scheme's id (see `list`)")->required();

    CLI::App* list = app.add_subcommand("list", "List the schemes");
    dbOptions.push_back(list->add_option("--db", o.databasePath, kDbHelp));
    list->add_flag("--json", o.json, "One JSON object per scheme");

    o.limit = kDefaultArticleLimit;
    CLI::App* articles = app.add_subcommand("articles", "List the newest articles");
    dbOptions.push_back(articles->add_option("--db", o.databasePath, kDbHelp));
    articles->add_option("--limit", o.limit, "How many (default 100)")
        ->check(CLI::Range(1, INT_MAX));
    articles->add_flag("--favourites", o.favourites, "Only the favourites");
    articles->add_flag("--json", o.json, "One JSON object per article");

    CLI::App* notify = app.add_subcommand("notify", "Notification channels (notify.conf)");
    notify->require_subcommand(1);
    CLI::App* notifyTest =
        notify->add_subcommand("test", "Send a test message to one channel or to every channel");
    notifyTest->add_option("URL", o.notify, "The channel (default: every channel of notify.conf)")
        ->expected(0, 1);
    CLI::App* flush = notify->add_subcommand("flush", "Send what waits in the outbox");
    flush->add_option("--db", o.databasePath, kDbHelp);
    flush->add_flag("--quiet", o.quiet, "Print only the errors");

    // A first word that names no command would otherwise read as a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const CLI::App* command : {run, test, list, articles, notify}) {
            known = known || command->check_name(argv[1]);
        }
        if (!known) {
            parse.exitCode = 2;
            parse.error = std::string("unknown command '") + argv[1] +
                          "' (the commands are run, test, list, articles and notify)";
            return parse;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        // --help, for the program or for one command.
        std::ostringstream out, err;
        parse.exitCode = app.exit(e, out, err);
        parse.out = out.str() + err.str();
        return parse;
    } catch (const CLI::ParseError& e) {
        parse.exitCode = 2;
        std::string what = e.what();
        for (char& c : what) {
            if (c == '\n') c = ' ';
        }
        parse.error = what + " (vela-cli --help shows the usage)";
        return parse;
    }
    for (const CLI::Option* db : dbOptions) {
        // An empty path would otherwise mean the default database, silently.
        if (db->count() > 0 && o.databasePath.empty()) {
            parse.exitCode = 2;
            parse.error = "--db needs the path of a database file";
            return parse;
        }
    }
    if (test->parsed() && !ParseSchemeId(schemeId, o.schemeId)) {
        parse.exitCode = 2;
        parse.error = "SCHEME_ID: '" + schemeId + "' is not a scheme id (see `vela-cli list`)";
        return parse;
    }
    if (run->parsed()) o.command = CliCommand::Run;
    if (test->parsed()) o.command = CliCommand::Test;
    if (list->parsed()) o.command = CliCommand::List;
    if (articles->parsed()) o.command = CliCommand::Articles;
    if (notifyTest->parsed()) o.command = CliCommand::NotifyTest;
    if (flush->parsed()) o.command = CliCommand::NotifyFlush;
    parse.proceed = true;
    return parse;
}

}  // namespace vela
