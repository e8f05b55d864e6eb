#include "command_line.h"

namespace vela {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    const std::string database = "--database";
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--quit-after-start") {
            line.quitAfterStart = true;
        } else if (arg == database || arg.rfind(database + "=", 0) == 0) {
            std::string value;
            if (arg == database) {
                if (i + 1 < args.size()) value = args[++i];
            } else {
                value = arg.substr(database.size() + 1);
            }
            if (value.empty()) {
                line.error = "--database needs the path of a database file";
                return line;
            }
            line.databasePath = value;
        }
    }
    return line;
}

}  // namespace vela
