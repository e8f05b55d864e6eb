#pragma once

#include "cli_options.h"
#include "console.h"
#include "propose/page_proposal.h"

namespace vela {

// `propose URL` / `propose --page FILE --url URL`: the page's candidate schemes,
// ranked, as lines or one JSON document; -o writes the one --pick names as a
// scheme file. Needs no database. `propose` is the finder (a test's stand-in).
int ProposeCommand(const CliOptions& options, const Console& console,
                   const ProposeFunction& propose = ProposeSchemes);

}  // namespace vela
