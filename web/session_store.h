#pragma once

#include <cstddef>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The browser sessions of the web view: a random id in an HttpOnly cookie, a
// random CSRF token that every form of the session carries, whether the session
// has signed in with the server's token, and a note the next page shows once
// (what an action did). Kept in memory only and bounded: at most kMaxSessions,
// each dropped after kIdleSeconds unused or kMaxAgeSeconds in all; when the
// store is full the session used longest ago gives way, one not signed in first.

namespace vela {

// What an action did, shown once by the page it sends the browser to. UTF-8.
struct Notice {
    bool error = false;
    std::string text;
    std::vector<std::string> lines;  // details, one a line (the titles a check stored)
    std::string link;                // a link under the note, when it has one
    std::string linkText;
};

struct SessionView {
    std::string id;
    std::string csrf;
    bool signedIn = false;
};

class SessionStore {
public:
    static constexpr std::size_t kMaxSessions = 512;
    static constexpr std::time_t kIdleSeconds = 12 * 3600;
    static constexpr std::time_t kMaxAgeSeconds = 7 * 24 * 3600;
    // A notice is cut to this many lines of at most kNoticeLineBytes each.
    static constexpr std::size_t kNoticeLines = 50;
    static constexpr std::size_t kNoticeLineBytes = 400;

    // The live session of `id` (the cookie's value), marked as used now.
    std::optional<SessionView> Find(std::string_view id, std::time_t now);
    // A new session, not signed in. Empty when no random bytes can be had, or
    // when every place is held by a signed-in session.
    std::optional<SessionView> Open(std::time_t now);
    // The session signed in under a new id (so an id seen before signing in is
    // worth nothing after it); the old one ends. Empty when no random bytes can
    // be had.
    std::optional<SessionView> SignIn(std::string_view oldId, std::time_t now);

    void SetNotice(std::string_view id, Notice notice);
    // The session's notice, taken: it is shown once.
    std::optional<Notice> TakeNotice(std::string_view id);

    std::size_t Size() const;

private:
    struct Entry {
        std::string csrf;
        bool signedIn = false;
        std::time_t opened = 0;
        std::time_t used = 0;
        std::optional<Notice> notice;
    };
    std::optional<SessionView> Add(bool signedIn, std::time_t now);
    bool MakeRoom(bool forSignedIn, std::time_t now);

    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> sessions_;
};

// `bytes` random bytes from the system (getrandom) as lower-case hex; empty when
// the system gives none.
std::string RandomHex(std::size_t bytes);

inline constexpr const char* kSessionCookie = "vela_session";

// The Set-Cookie value of session `id`: HttpOnly, SameSite=Strict, Path=/, and
// Secure when the browser reached the server over HTTPS.
std::string SessionCookie(const std::string& id, bool secure);
// The value of cookie `name` in a Cookie header; empty when it has none.
std::string_view CookieValue(std::string_view header, std::string_view name);
// Whether the request came over HTTPS, as a proxy in front says with
// X-Forwarded-Proto. Anyone may send that header, but it only ever makes the
// cookie Secure, which a client can do to its own cookie anyway: a client that
// lies gets a cookie its browser does not send back over plain HTTP.
bool CameOverHttps(std::string_view forwardedProto);

}  // namespace vela
