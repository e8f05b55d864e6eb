#include "cli_options.h"

#include <CLI/CLI.hpp>
#include <climits>
#include <cstdint>
#include <sstream>
#include <vector>

#include "store/row_id.h"

namespace vela {
namespace {

constexpr const char* kDbHelp =
    "The database file (default: the one the window uses, vela.sdb beside the program or, "
    "once installed, ~/.local/share/vela/vela.sdb)";

// The scheme ids as typed: every command takes them as texts and reads them with
// ParseRowId alone (CLI11 would clamp a longer number to the largest one, and read
// "0x3" or " 3" as 3, and so name another scheme than the one typed). Only one
// command is parsed, so they share these.
struct SchemeIdTexts {
    std::string one;                // test, edit, remove
    std::vector<std::string> many;  // export, tick, untick, feed --scheme
};

// Reads `texts` into the options; false, with the line to print, at the first text
// that is no scheme id. `name` is what the help calls them.
bool ReadSchemeIds(const SchemeIdTexts& texts, bool oneGiven, const std::string& name,
                   CliOptions& o, std::string& error) {
    auto read = [&](const std::string& text, int64_t& id) {
        if (ParseRowId(text, id)) return true;
        error = name + ": '" + text + "' is not a scheme id (see `vela-cli list`)";
        return false;
    };
    if (oneGiven && !read(texts.one, o.schemeId)) return false;
    for (const std::string& text : texts.many) {
        int64_t id = 0;
        if (!read(text, id)) return false;
        o.schemeIds.push_back(id);
    }
    return true;
}

// The commands on schemes and their files.
struct SchemeFileCommands {
    CLI::App* exportCommand;
    CLI::App* importCommand;
    CLI::App* edit;
    CLI::App* remove;
    CLI::App* tick;
    CLI::App* untick;
};

SchemeFileCommands AddSchemeFileCommands(CLI::App& app, CliOptions& o, SchemeIdTexts& ids) {
    SchemeFileCommands c;
    c.exportCommand = app.add_subcommand("export", "Write schemes as a scheme file (TOML)");
    c.exportCommand->add_option("--db", o.databasePath, kDbHelp);
    c.exportCommand->add_option("SCHEME_ID", ids.many, "The schemes (default: all)")
        ->type_name("INT");
    c.exportCommand->add_option("-o,--output", o.outputPath, "The file (default: standard output)")
        ->type_name("FILE");

    c.importCommand =
        app.add_subcommand("import", "Check a scheme file, then add all its schemes or none");
    c.importCommand->add_option("--db", o.databasePath, kDbHelp);
    c.importCommand->add_option("FILE", o.file, "The scheme file (- for standard input)")
        ->required();
    c.importCommand->add_flag("--dry-run", o.dryRun, "Only check the file");

    c.edit = app.add_subcommand("edit", "Edit a scheme in $VISUAL or $EDITOR, checked on save");
    c.edit->add_option("--db", o.databasePath, kDbHelp);
    c.edit->add_option("SCHEME_ID", ids.one, "The scheme's id (see `list`)")
        ->type_name("INT")
        ->required();

    c.remove = app.add_subcommand("remove", "Remove a scheme (its articles stay)");
    c.remove->add_option("--db", o.databasePath, kDbHelp);
    c.remove->add_option("SCHEME_ID", ids.one, "The scheme's id (see `list`)")
        ->type_name("INT")
        ->required();

    c.tick = app.add_subcommand("tick", "Tick schemes for monitoring");
    c.untick = app.add_subcommand("untick", "Clear the tick of schemes");
    for (CLI::App* command : {c.tick, c.untick}) {
        command->add_option("--db", o.databasePath, kDbHelp);
        command->add_option("SCHEME_ID", ids.many, "The schemes' ids (see `list`)")
            ->type_name("INT")
            ->required();
    }
    return c;
}

void ChosenSchemeFileCommand(const SchemeFileCommands& c, CliOptions& o) {
    if (c.exportCommand->parsed()) o.command = CliCommand::Export;
    if (c.importCommand->parsed()) o.command = CliCommand::Import;
    if (c.edit->parsed()) o.command = CliCommand::Edit;
    if (c.remove->parsed()) o.command = CliCommand::Remove;
    if (c.tick->parsed()) o.command = CliCommand::Tick;
    if (c.untick->parsed()) o.command = CliCommand::Untick;
}

// `propose URL` or `propose --page FILE --url URL`, with the scheme's settings.
struct ProposeCommand {
    CLI::App* command;
    CLI::Option* url;
    CLI::Option* page;
    CLI::Option* pageUrl;
    CLI::Option* pick;
    CLI::Option* output;
    std::string userAgent;
    CLI::Option* userAgentOption;
};

ProposeCommand AddProposeCommand(CLI::App& app, CliOptions& o) {
    ProposeCommand c;
    c.command = app.add_subcommand(
        "propose", "Find a page's list of articles and propose schemes for it (no database)");
    c.url = c.command->add_option("URL", o.url, "The page's address")->type_name("URL");
    c.page = c.command
                 ->add_option("--page", o.pagePath,
                              "A page saved from a browser, instead of fetching URL")
                 ->type_name("FILE")
                 ->excludes(c.url);
    c.pageUrl = c.command->add_option("--url", o.url, "The saved page's address (with --page)")
                    ->type_name("URL")
                    ->needs(c.page)
                    ->excludes(c.url);
    c.command
        ->add_option("--encoding", o.encoding,
                     "The page's encoding (default: from a byte order mark, the answer, the "
                     "bytes or <meta charset>)")
        ->type_name("ENCODING")
        ->check(CLI::IsMember({"gbk", "utf-8"}));
    c.command
        ->add_flag("--browser", o.browser,
                   "Render the page with the headless browser (its list built by script); "
                   "the schemes render it too")
        ->excludes(c.page);
    c.command->add_option("--cookie", o.cookie, "The cookie to send, kept in the scheme")
        ->type_name("TEXT");
    c.userAgentOption =
        c.command
            ->add_option("--user-agent", c.userAgent,
                         "The browser identification to send, kept in the scheme (default: the "
                         "one of a new scheme)")
            ->type_name("TEXT");
    c.command->add_option("--candidates", o.candidates, "How many candidates at most (default 5)")
        ->type_name("N")
        ->check(CLI::Range(1, kMaxProposeCandidates));
    c.output = c.command
                   ->add_option("-o,--output", o.outputPath,
                                "Write a candidate as a scheme file for `import` (- for "
                                "standard output instead of the list)")
                   ->type_name("FILE");
    c.pick = c.command->add_option("--pick", o.pick, "Which candidate -o writes (default 1)")
                 ->type_name("N")
                 ->check(CLI::Range(1, kMaxProposeCandidates))
                 ->needs(c.output);
    c.command->add_flag("--json", o.json, "One JSON document of every candidate");
    return c;
}

// What CLI11 cannot say of `propose`'s options; empty when they fit together.
std::string ProposeUsageError(const ProposeCommand& c, CliOptions& o) {
    if (c.userAgentOption->count() > 0) o.userAgent = c.userAgent;
    if (c.url->count() == 0 && c.page->count() == 0) {
        return "propose needs a URL, or --page FILE --url URL (vela-cli propose --help shows "
               "the usage)";
    }
    if (c.page->count() > 0 && c.pageUrl->count() == 0) {
        return "--page needs --url URL, the address the page was saved from";
    }
    if (o.url.empty()) return "propose needs the page's address, not an empty text";
    if (o.pagePath.empty() && c.page->count() > 0) return "--page needs the path of a file";
    if (o.pick > o.candidates) {
        return "--pick " + std::to_string(o.pick) + " is beyond --candidates " +
               std::to_string(o.candidates);
    }
    if (o.outputPath.empty() && c.output->count() > 0) return "-o needs the path of a file";
    if (o.outputPath == "-" && o.json) {
        return "-o - and --json both want standard output; give -o a file";
    }
    return {};
}

}  // namespace

CliParse ParseCliOptions(int argc, const char* const* argv) {
    CliParse parse;
    CliOptions& o = parse.options;
    CLI::App app{"Watches the pages of the ticked schemes for new articles, without a window.",
                 "vela-cli"};
    app.require_subcommand(1);

    CLI::App* run = app.add_subcommand("run", "Monitor every ticked scheme");
    run->add_option("--db", o.databasePath, kDbHelp);
    bool onceFlag = false;
    CLI::Option* once = run->add_flag("--once", onceFlag, "Run one cycle (the default)");
    run->add_option("--every", o.everySeconds, "Repeat, SECONDS apart (10 or more)")
        ->type_name("SECONDS")
        ->check(CLI::Range(kMinimumEverySeconds, INT_MAX / 1000))
        ->excludes(once);
    run->add_flag("--json", o.json, "One JSON object per new article");
    run->add_flag("--quiet", o.quiet, "Print only the articles and the errors");
    run->add_option("--jobs", o.jobs, "Schemes checked at once (default 200; 1: one by one)")
        ->type_name("N")
        ->check(CLI::Range(1, 256));
    run->add_option("--per-host", o.perHost, "Requests to one host name at once (default 2)")
        ->type_name("M")
        ->check(CLI::Range(1, 256));
    run->add_option("--renders", o.renders, "Pages rendered by the browser at once (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1, 16));
    run->add_option("--render-limit", o.renderLimitSeconds,
                    "Seconds one page may take in the browser (default 20)")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 3600));
    run->add_option("--notify", o.notify,
                    "Also send each cycle's new articles to this channel URL (repeatable)")
        ->type_name("URL")
        ->allow_extra_args(false);

    CLI::App* test =
        app.add_subcommand("test", "Run the rule test of a stored scheme, or of a file's");
    test->add_option("--db", o.databasePath, kDbHelp);
    SchemeIdTexts ids;
    CLI::Option* testId =
        test->add_option("SCHEME_ID", ids.one, "The scheme's id (see `list`)")->type_name("INT");
    CLI::Option* testFile =
        test->add_option("--file", o.file, "A scheme file, its scheme tested before it is imported")
            ->type_name("FILE")
            ->excludes(testId);
    test->add_option("--scheme", o.fileScheme,
                     "Which scheme of the file, counted from 1 (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1, INT_MAX))
        ->needs(testFile);

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

    const SchemeFileCommands files = AddSchemeFileCommands(app, o, ids);

    CLI::App* feed = app.add_subcommand("feed", "Write an Atom feed of the newest articles");
    feed->add_option("--db", o.databasePath, kDbHelp);
    feed->add_option("--scheme", ids.many, "Only this scheme's articles (repeatable)")
        ->type_name("ID");
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
                     "Every request must carry it (Authorization: Bearer, or ?token=), or a "
                     "browser signs in with it once at /signin; required to listen on an "
                     "address other than loopback. Others can read it in the process list: "
                     "--token-file or VELA_SERVE_TOKEN keep it out of it")
        ->type_name("TOKEN");
    serve
        ->add_option("--token-file", o.tokenFile,
                     "The token is the first line of FILE (which other users should not be "
                     "able to read)")
        ->type_name("FILE");

    CLI::App* notify = app.add_subcommand("notify", "Notification channels (notify.conf)");
    notify->require_subcommand(1);
    CLI::App* notifyTest =
        notify->add_subcommand("test", "Send a test message to one channel or to every channel");
    notifyTest->add_option("URL", o.notify, "The channel (default: every channel of notify.conf)")
        ->expected(0, 1);
    CLI::App* flush = notify->add_subcommand("flush", "Send what waits in the outbox");
    flush->add_option("--db", o.databasePath, kDbHelp);
    flush->add_flag("--quiet", o.quiet, "Print only the errors");

    const ProposeCommand propose = AddProposeCommand(app, o);

    // A first word that names no command would otherwise read as a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const CLI::App* command :
             {run, test, list, articles, files.exportCommand, files.importCommand, files.edit,
              files.remove, files.tick, files.untick, feed, serve, notify, propose.command}) {
            known = known || command->check_name(argv[1]);
        }
        if (!known) {
            parse.exitCode = 2;
            parse.error = std::string("unknown command '") + argv[1] +
                          "' (the commands are run, test, list, articles, export, import, edit, "
                          "remove, tick, untick, feed, serve, notify and propose)";
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
    for (CLI::App* command : app.get_subcommands({})) {
        // An empty path would otherwise mean the default database, silently.
        const CLI::Option* db = command->get_option_no_throw("--db");
        if (db && db->count() > 0 && o.databasePath.empty()) {
            parse.exitCode = 2;
            parse.error = "--db needs the path of a database file";
            return parse;
        }
    }
    const bool oneId =
        (test->parsed() && testId->count() > 0) || files.edit->parsed() || files.remove->parsed();
    if (!ReadSchemeIds(ids, oneId, feed->parsed() ? "--scheme" : "SCHEME_ID", o, parse.error)) {
        parse.exitCode = 2;
        return parse;
    }
    if (run->parsed()) o.command = CliCommand::Run;
    if (test->parsed()) o.command = CliCommand::Test;
    if (list->parsed()) o.command = CliCommand::List;
    if (articles->parsed()) o.command = CliCommand::Articles;
    if (test->parsed() && testId->count() == 0 && testFile->count() == 0) {
        parse.exitCode = 2;
        parse.error =
            "test needs a SCHEME_ID or --file FILE (vela-cli test --help shows the usage)";
        return parse;
    }
    ChosenSchemeFileCommand(files, o);
    if (feed->parsed()) {
        o.command = CliCommand::Feed;
        o.limit = feedLimit;
    }
    if (serve->parsed()) o.command = CliCommand::Serve;
    if (notifyTest->parsed()) o.command = CliCommand::NotifyTest;
    if (flush->parsed()) o.command = CliCommand::NotifyFlush;
    if (propose.command->parsed()) {
        parse.error = ProposeUsageError(propose, o);
        if (!parse.error.empty()) {
            parse.exitCode = 2;
            return parse;
        }
        o.command = CliCommand::Propose;
    }
    parse.proceed = true;
    return parse;
}

}  // namespace vela
