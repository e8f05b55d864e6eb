#include "session_store.h"

#include <sys/random.h>

#include <cerrno>

namespace vela {
namespace {

Notice Bounded(Notice notice) {
    const auto cut = [](std::string& line) {
        if (line.size() <= SessionStore::kNoticeLineBytes) return;
        // Cut at a character boundary: never in the middle of a UTF-8 sequence.
        std::size_t end = SessionStore::kNoticeLineBytes;
        while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
        line.resize(end);
        line += "…";
    };
    cut(notice.text);
    if (notice.lines.size() > SessionStore::kNoticeLines) {
        const std::size_t more = notice.lines.size() - SessionStore::kNoticeLines;
        notice.lines.resize(SessionStore::kNoticeLines);
        notice.lines.push_back("……另有 " + std::to_string(more) + " 条");
    }
    for (std::string& line : notice.lines) cut(line);
    cut(notice.link);
    cut(notice.linkText);
    return notice;
}

bool Expired(std::time_t opened, std::time_t used, std::time_t now) {
    return now - used > SessionStore::kIdleSeconds || now - opened > SessionStore::kMaxAgeSeconds;
}

}  // namespace

std::string RandomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::getrandom(raw.data() + done, bytes - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        done += static_cast<std::size_t>(n);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes * 2);
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

std::optional<SessionView> SessionStore::Find(std::string_view id, std::time_t now) {
    if (id.empty()) return std::nullopt;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(std::string(id));
    if (it == sessions_.end()) return std::nullopt;
    if (Expired(it->second.opened, it->second.used, now)) {
        sessions_.erase(it);
        return std::nullopt;
    }
    it->second.used = now;
    return SessionView{it->first, it->second.csrf, it->second.signedIn};
}

std::optional<SessionView> SessionStore::Open(std::time_t now) { return Add(false, now); }

std::optional<SessionView> SessionStore::SignIn(std::string_view oldId, std::time_t now) {
    {
        std::lock_guard lock(mutex_);
        sessions_.erase(std::string(oldId));
    }
    return Add(true, now);
}

std::optional<SessionView> SessionStore::Add(bool signedIn, std::time_t now) {
    std::string id = RandomHex(32);
    std::string csrf = RandomHex(32);
    if (id.empty() || csrf.empty()) return std::nullopt;
    std::lock_guard lock(mutex_);
    if (!MakeRoom(signedIn, now)) return std::nullopt;
    sessions_[id] = Entry{csrf, signedIn, now, now, std::nullopt};
    return SessionView{std::move(id), std::move(csrf), signedIn};
}

// Under the lock: drops the expired sessions and, when the store is still full,
// the session not signed in that was used longest ago. A signed-in session gives
// way only to another signed-in one: anyone may open sessions through the
// sign-in form, and a flood of them must not sign out the people who came in
// with the token. False when there is no room. One pass over at most
// kMaxSessions, only when full.
bool SessionStore::MakeRoom(bool forSignedIn, std::time_t now) {
    if (sessions_.size() < kMaxSessions) return true;
    auto oldest = sessions_.end();
    auto oldestSignedIn = sessions_.end();
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (Expired(it->second.opened, it->second.used, now)) {
            it = sessions_.erase(it);
            continue;
        }
        auto& slot = it->second.signedIn ? oldestSignedIn : oldest;
        if (slot == sessions_.end() || it->second.used < slot->second.used) slot = it;
        ++it;
    }
    if (sessions_.size() < kMaxSessions) return true;
    if (oldest == sessions_.end() && forSignedIn) oldest = oldestSignedIn;
    if (oldest == sessions_.end()) return false;
    sessions_.erase(oldest);
    return true;
}

void SessionStore::SetNotice(std::string_view id, Notice notice) {
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(std::string(id));
    if (it != sessions_.end()) it->second.notice = Bounded(std::move(notice));
}

std::optional<Notice> SessionStore::TakeNotice(std::string_view id) {
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(std::string(id));
    if (it == sessions_.end() || !it->second.notice) return std::nullopt;
    std::optional<Notice> notice = std::move(it->second.notice);
    it->second.notice.reset();
    return notice;
}

std::size_t SessionStore::Size() const {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

std::string SessionCookie(const std::string& id, bool secure) {
    return std::string(kSessionCookie) + "=" + id + "; Path=/; HttpOnly; SameSite=Strict" +
           (secure ? "; Secure" : "");
}

std::string_view CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t semi = header.find(';');
        std::string_view pair = header.substr(0, semi);
        while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t'))
            pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) {
            std::string_view value = pair.substr(eq + 1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
                value.remove_suffix(1);
            }
            return value;
        }
        if (semi == std::string_view::npos) break;
        header.remove_prefix(semi + 1);
    }
    return {};
}

bool CameOverHttps(std::string_view forwardedProto) {
    // A chain of proxies lists one scheme each; the first is the browser's.
    forwardedProto = forwardedProto.substr(0, forwardedProto.find(','));
    while (!forwardedProto.empty() && forwardedProto.back() == ' ') forwardedProto.remove_suffix(1);
    while (!forwardedProto.empty() && forwardedProto.front() == ' ')
        forwardedProto.remove_prefix(1);
    if (forwardedProto.size() != 5) return false;
    static constexpr std::string_view kHttps = "https";
    for (std::size_t i = 0; i < 5; ++i) {
        const char c = forwardedProto[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kHttps[i])
            return false;
    }
    return true;
}

}  // namespace vela
