#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html_pages.h"
#include "session_store.h"
#include "web_exchange.h"

// The pages around the actions of the web view: signing in, asking before a
// removal, the channels, and the page of an action that cannot be done. Every
// text is escaped; a channel is only ever shown masked.

namespace vela {

// The sign-in form (the server's token, typed once); `asked` is false when the
// server asks for no token.
std::string SignInPage(const PageLinks& links, const std::string& csrf, bool asked,
                       const std::optional<Notice>& notice);
// 401 to a browser without the token: the way to the sign-in form.
WebResponse SignInNeededPage();

struct ConfirmInput {
    std::string title;     // the page's heading, UTF-8
    std::string question;  // what is asked, UTF-8
    std::string action;    // where the form POSTs (an href)
    std::vector<std::pair<std::string, std::string>> fields;
    std::string confirmLabel;
    std::string cancelHref;
    int current = -1;  // the page's place in the top bar
};
// A page asking before something is done: the button POSTs, the link goes back.
std::string ConfirmPage(const PageLinks& links, const std::string& csrf, const ConfirmInput& in);

struct ChannelsPageInput {
    std::string path;                 // notify.conf; empty: there is no place for it
    std::vector<std::string> masked;  // the channels, masked, in the file's order
    bool readableByOthers = false;
    std::string fileError;
    PageLinks links;
    std::string csrf;
    std::optional<Notice> notice;
};
std::string ChannelsPage(const ChannelsPageInput& in);

// An HTML page of `status` saying `text` under `title`, with a link back to
// `backHref`.
WebResponse MessagePage(int status, std::string_view title, std::string_view text,
                        const PageLinks& links, const std::string& backHref);

}  // namespace vela
