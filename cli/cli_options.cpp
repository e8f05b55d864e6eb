#include "cli_options.h"

#include <CLI/CLI.hpp>
#include <climits>
#include <cstdint>
#include <sstream>

namespace vela {
namespace {

constexpr const char* kDbHelp =
    "The database file (default: the one the window uses, vela.sdb beside the program or, "
    "once installed, ~/.local/share/vela/vela.sdb)";

}  // namespace

CliParse ParseCliOptions(int argc, const char* const* argv) {
    CliParse parse;
    CliOptions& o = parse.options;
    CLI::App app{"Watches the pages of the ticked schemes for new articles, without a window.",
                 "vela-cli"};
    app.require_subcommand(1);

    CLI::App* run = app.add_subcommand("run", "Monitor every ticked scheme in id order");
    run->add_option("--db", o.databasePath, kDbHelp);
    bool onceFlag = false;
    CLI::Option* once = run->add_flag("--once", onceFlag, "Run one cycle (the default)");
    run->add_option("--every", o.everySeconds, "Repeat, SECONDS apart (10 or more)")
        ->type_name("SECONDS")
        ->check(CLI::Range(kMinimumEverySeconds, INT_MAX / 1000))
        ->excludes(once);
    run->add_flag("--json", o.json, "One JSON object per new article");
    run->add_flag("--quiet", o.quiet, "Print only the articles and the errors");

    CLI::App* test = app.add_subcommand("test", "Run the rule test of a stored scheme");
    test->add_option("--db", o.databasePath, kDbHelp);
    test->add_option("SCHEME_ID", o.schemeId, "The scheme's id (see `list`)")->required();

    CLI::App* list = app.add_subcommand("list", "List the schemes");
    list->add_option("--db", o.databasePath, kDbHelp);
    list->add_flag("--json", o.json, "One JSON object per scheme");

    o.limit = kDefaultArticleLimit;
    CLI::App* articles = app.add_subcommand("articles", "List the newest articles");
    articles->add_option("--db", o.databasePath, kDbHelp);
    articles->add_option("--limit", o.limit, "How many (default 100)")
        ->check(CLI::Range(1, INT_MAX));
    articles->add_flag("--favourites", o.favourites, "Only the favourites");
    articles->add_flag("--json", o.json, "One JSON object per article");

    CLI::App* feed = app.add_subcommand("feed", "Write an Atom feed of the newest articles");
    feed->add_option("--db", o.databasePath, kDbHelp);
    feed->add_option("--scheme", o.schemeIds, "Only this scheme's articles (repeatable)")
        ->type_name("ID")
        ->check(CLI::Range(int64_t{0}, INT64_MAX));
    int feedLimit = kDefaultFeedLimit;
    feed->add_option("--limit", feedLimit, "How many entries (default 50)")
        ->check(CLI::Range(1, 10000));
    feed->add_option("-o,--output", o.outputPath,
                     "Write to FILE, replaced at once when complete (default: standard output)")
        ->type_name("FILE");

    CLI::App* serve = app.add_subcommand("serve", "Serve the articles and their feeds over HTTP");
    serve->add_option("--db", o.databasePath, kDbHelp);
    o.listen = kDefaultListen;
    serve->add_option("--listen", o.listen, "ADDRESS:PORT to listen on (default 127.0.0.1:8571)")
        ->type_name("ADDRESS:PORT");
    serve
        ->add_option("--every", o.everySeconds,
                     "Also check the ticked schemes, SECONDS apart (10 or more)")
        ->type_name("SECONDS")
        ->check(CLI::Range(kMinimumEverySeconds, INT_MAX / 1000));
    serve
        ->add_option("--token", o.token,
                     "Every request must carry it (Authorization: Bearer, or ?token=); "
                     "required to listen on an address other than loopback")
        ->type_name("TOKEN");

    // A first word that names no command would otherwise read as a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const CLI::App* command : {run, test, list, articles, feed, serve}) {
            known = known || command->check_name(argv[1]);
        }
        if (!known) {
            parse.exitCode = 2;
            parse.error = std::string("unknown command '") + argv[1] +
                          "' (the commands are run, test, list, articles, feed and serve)";
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
    if (run->parsed()) o.command = CliCommand::Run;
    if (test->parsed()) o.command = CliCommand::Test;
    if (list->parsed()) o.command = CliCommand::List;
    if (articles->parsed()) o.command = CliCommand::Articles;
    if (feed->parsed()) {
        o.command = CliCommand::Feed;
        o.limit = feedLimit;
    }
    if (serve->parsed()) o.command = CliCommand::Serve;
    parse.proceed = true;
    return parse;
}

}  // namespace vela
