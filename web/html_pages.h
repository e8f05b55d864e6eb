#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "article_query.h"
#include "check_board.h"
#include "session_store.h"

// The pages of the web view: Chinese, readable on a phone and a desktop, in the
// light and the dark variant, with no script and nothing from another host. Every
// stored text is escaped, and an article's link is a link only when it is a web
// address.

namespace vela {

// One row of table rule as the pages show it (kSchemeSummaryQuery); GBK as stored.
struct SchemeSummary {
    std::string id, name, url, ticked, lastTitle, lastTime;
};
std::vector<SchemeSummary> SchemesFromRows(const TextTable& rows);

// What every page needs to build its links: the token, when the request carried
// it in its query (a browser cannot send a header), goes into every link.
struct PageLinks {
    std::string token;
    // `path` with its query `params` (values percent-encoded), the token added.
    std::string Href(std::string_view path,
                     std::vector<std::pair<std::string, std::string>> params = {}) const;
};

struct ArticlesPageInput {
    std::vector<Article> articles;
    std::vector<SchemeSummary> schemes;
    int64_t schemeId = -1;  // the scheme filtered on; -1: all
    bool favourites = false;
    std::string search;     // UTF-8 as typed
    int64_t beforeId = 0;   // the page starts below this id; 0: the newest
    int64_t olderFrom = 0;  // the next page starts below this id; 0: no next page
    bool cycles = false;    // this process runs check cycles
    std::string lastCycle;  // when the last one ended
    PageLinks links;
    std::time_t now = 0;  // times shown as how long ago are counted from this
};
std::string ArticlesPage(const ArticlesPageInput& input);

// Each scheme with its buttons (tick or untick, check now, remove), whose forms
// carry `csrf`; `notice` says what the last action did.
std::string SchemesPage(const std::vector<SchemeSummary>& schemes,
                        const std::map<std::string, SchemeCheck>& checks, bool cycles,
                        const std::string& lastCycle, const PageLinks& links, std::time_t now,
                        const std::string& csrf, const std::optional<Notice>& notice);

// The parts every page is made of, for the pages made elsewhere. `current` is
// the place of the page in the top bar (0 最新文章 … 3 通知渠道; -1: none).
void PageHead(std::string& out, std::string_view title, const PageLinks& links,
              std::string_view feedPath);
void PageTopBar(std::string& out, const PageLinks& links, int current);
void PageTail(std::string& out);
// What the last action did, when there is something to say.
void NoticeBox(std::string& out, const std::optional<Notice>& notice);
// The start of a POST form to `action` (an href, escaped here), with its CSRF
// field; the caller closes it.
void FormOpen(std::string& out, const std::string& action, const std::string& csrf,
              std::string_view cssClass);
// A form of one button that POSTs `fields` to `action`.
void ActionButton(std::string& out, const std::string& action, const std::string& csrf,
                  std::string_view label,
                  const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string_view buttonClass);

// The style sheet of every page, served as /style.css.
std::string_view StyleSheet();

}  // namespace vela
