#include "command_line.h"

namespace vela {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    const std::string database = "--database";
    CommandLine line;
    auto fail = [&line](const std::string& error) {
        if (line.error.empty()) line.error = error;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--quit-after-start") {
            line.quitAfterStart = true;
        } else if (arg == database || arg.rfind(database + "=", 0) == 0) {
            std::string value;
            if (arg == database) {
                if (i + 1 < args.size()) value = args[++i];
            } else {
                value = arg.substr(database.size() + 1);
            }
            if (value.empty()) {
                fail("--database needs the path of a database file");
            } else {
                line.databasePath = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail("unknown option '" + arg + "'");
        }
    }
    return line;
}

std::string CommandLineUsage() {
    return "Usage: vela [--database FILE] [--quit-after-start]\n"
           "Watches web pages for new articles, in a window (vela-cli does so without one).\n"
           "\n"
           "Options:\n"
           "  --database FILE     the database file (default: vela.sdb beside the program or,\n"
           "                      once installed, ~/.local/share/vela/vela.sdb)\n"
           "  --quit-after-start  end as soon as the window is up (status 0 when it came up)\n"
           "  -h, --help          print this help and end\n"
           "Qt's own options, such as -platform NAME or -style NAME, are taken as well.\n";
}

}  // namespace vela
