#include "commands.h"

namespace vela {

int ServeCommand(const CliOptions&, Database&, const Console&) { return kExitUsage; }

}  // namespace vela
