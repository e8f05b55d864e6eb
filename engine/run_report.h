#pragma once

#include <string>

#include "store/statement_run.h"

namespace vela {

struct ArticleInsert;
struct Scheme;

// What the run of one scheme tells whoever drives it, as it goes. Every call is
// made on the thread that runs the scheme; an implementation that shows anything
// hands it over to its own thread. Texts are GBK.
class RunReport {
public:
    virtual ~RunReport() = default;

    // The stop token: once true, the run starts no request and runs no statement.
    // Also asked during the transfer, which it cuts short.
    virtual bool Stopped() = 0;
    // A status line, with its leading line break.
    virtual void Status(const std::string& line) = 0;
    // The region cut out of the page, before its matches are looked for.
    virtual void Region(const std::string& region) = 0;
    // A statement that ran, and how it ended.
    virtual void Statement(const std::string& sql, const StatementOutcome& outcome) = 0;
    // The run stored a new article; said once, right after the first is stored.
    virtual void NewArticlesFound() = 0;
    // One article was stored together with its marker; `time` is the time text
    // stored with it.
    virtual void Recorded(const Scheme& scheme, const ArticleInsert& article,
                          const std::string& time) = 0;
    // The pause between two stored articles; a stop should cut it short.
    virtual void Pause(int milliseconds) = 0;
    // The run has waited a second for the database's run lock (`lockPath`), which
    // another program holds while it runs a scheme of the same file; said once a
    // wait. The wait goes on in pauses.
    virtual void WaitingForRunLock(const std::string& lockPath) { (void)lockPath; }
};

}  // namespace vela
