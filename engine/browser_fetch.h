#pragma once

#include <string>

#include "fetch/browser_render.h"
#include "monitor_timings.h"
#include "run_report.h"
#include "scheme.h"

namespace vela {

struct SchemeRun;

// The limits of a scheme's render; the stop is the caller's.
RenderOptions RenderLimits(const MonitorTimings& timings);

// The page of a scheme whose fetch is "browser", rendered by the headless browser
// with the scheme's address, browser identification and cookie: UTF-8, empty when
// none came. `run` learns why it is missing or cut as from a fetch (its English
// text naming the browser's error), `statusLine` gets the status box's line
// (UTF-8; empty when there is none). A stop of `report` ends the render and its
// browser.
std::string RenderSchemePage(const Scheme& scheme, const MonitorTimings& timings, RunReport& report,
                             SchemeRun& run, std::string& statusLine);

}  // namespace vela
