#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/scheme_form_check.h"
#include "html_pages.h"
#include "route_call.h"

// The scheme form of the web view (a new scheme, or one to edit) with every
// field of the window's editor under its caption, and the page that adds a page
// from its address: the proposer's candidates, each of which fills the form.

namespace vela {

// What a rule test of the form's values showed: UTF-8 texts.
struct RuleTestView {
    std::vector<std::string> errors;
    std::size_t regionBytes = 0;
    struct Match {
        std::string title;  // as it would be recorded
        std::string link;
        bool dropped = false;  // the keywords drop it
    };
    std::vector<Match> matches;
};

struct SchemeFormPageInput {
    SchemeFormValues values;
    std::map<std::string, std::string> errors;  // by the scheme file's key
    std::string action;                         // where the form POSTs (an href)
    int64_t id = 0;                             // 0: a new scheme
    std::string digest;  // the stored scheme as the form was made; empty for a new one
    std::optional<Notice> notice;
    std::optional<RuleTestView> test;
    PageLinks links;
    std::string csrf;
};
std::string SchemeFormPage(const SchemeFormPageInput& in);

// The form's values from its POSTed fields (a candidate's hidden fields too).
SchemeFormValues SchemeFormValuesFrom(const QueryParams& form);

struct CandidateView {
    int score = 0;  // in per cent
    std::size_t count = 0;
    std::vector<std::string> titles;  // the first few, UTF-8
    SchemeFormValues values;
};

struct AddPageInput {
    std::string url, encoding = "detect", cookie, userAgent;  // as typed
    bool proposed = false;  // the address was fetched and proposed for
    std::string error;      // why there is no candidate, UTF-8
    std::vector<CandidateView> candidates;
    PageLinks links;
    std::string csrf;
};
std::string AddPage(const AddPageInput& in);

}  // namespace vela
