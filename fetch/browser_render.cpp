#include "fetch/browser_render.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "fetch/process_group.h"
#include "fetch/render_slots.h"
#include "fetch/url_parts.h"

namespace vela {
namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

// How often a waiting render asks the stop and looks at the clock, and how often
// it reads the group's memory.
constexpr std::chrono::milliseconds kPollStep{50};
constexpr std::chrono::milliseconds kMemoryStep{100};
// How long a browser asked to close may take before it is killed.
constexpr std::chrono::milliseconds kCloseGrace{2000};

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

constexpr const char* kProfilePrefix = "vela-render-";
// Held (flock) by the render that owns the profile, for as long as it runs.
constexpr const char* kProfileLock = "/vela.lock";

// Removes the profiles of renders whose program was killed before it could remove
// them: a profile whose lock nobody holds. A profile without its lock yet is one
// being made, and is left alone.
void RemoveAbandonedProfiles(const std::string& base) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(base, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kProfilePrefix, 0) != 0) continue;
        const int fd = open((it->path().string() + kProfileLock).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(it->path(), ignored);
        }
        close(fd);
    }
}

// The temporary profile of one render, removed with everything in it.
class TempProfile {
public:
    explicit TempProfile(const std::string& folder) {
        std::string base = folder;
        if (base.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
        }
        RemoveAbandonedProfiles(base);
        std::string pattern = base + "/" + kProfilePrefix + "XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        // The lock is taken under another name and then put in place, so that
        // nobody sees it unheld.
        const std::string fresh = path_ + kProfileLock + ".new";
        lock_ = open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (lock_ < 0 || flock(lock_, LOCK_EX) != 0 ||
            rename(fresh.c_str(), (path_ + kProfileLock).c_str()) != 0) {
            Remove();
        }
    }
    ~TempProfile() { Remove(); }
    TempProfile(const TempProfile&) = delete;
    TempProfile& operator=(const TempProfile&) = delete;
    const std::string& path() const { return path_; }

    // Writes the profile's preferences: how a page that does not name its
    // encoding is read. False when the file cannot be written.
    bool SetDefaultEncoding(const std::string& encoding) const {
        if (encoding.empty()) return true;
        const std::string folder = path_ + "/Default";
        if (mkdir(folder.c_str(), 0700) != 0) return false;
        const Json preferences = {{"intl", {{"charset_default", encoding}}}};
        const std::string text = preferences.dump(-1, ' ', false, Json::error_handler_t::replace);
        const int fd =
            open((folder + "/Preferences").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        const bool written =
            write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        return close(fd) == 0 && written;
    }

private:
    void Remove() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
            path_.clear();
        }
        if (lock_ >= 0) close(lock_);
        lock_ = -1;
    }

    std::string path_;
    int lock_ = -1;
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (lower != prefix[i]) return false;
    }
    return true;
}

// The address the browser is sent to: http (when the address names no scheme) or
// https, a host, nothing that could be read as another scheme (file:, data:,
// javascript:) or a second argument. Empty when there is none.
std::string BrowserAddress(std::string_view url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) return {};
    }
    const std::size_t sep = url.find("://");
    const bool secure = StartsWithNoCase(url, "https://");
    if (!secure && !StartsWithNoCase(url, "http://")) {
        // Without "://" an address is http, as the fetch takes it; with another
        // scheme before it, no request is made.
        if (sep != std::string_view::npos) return {};
        const std::size_t colon = url.find(':');
        const std::size_t slash = url.find('/');
        // "javascript:…" and "data:…" name a scheme without "//".
        if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
            const std::string_view after = url.substr(colon + 1);
            const bool port = !after.empty() && after[0] >= '0' && after[0] <= '9';
            if (!port) return {};
        }
    }
    const std::string host = UrlHost(url, true);
    const int port = UrlPort(url);
    if (host.empty() || host[0] == ':' || port < 1 || port > 65535) return {};
    return std::string(secure ? "https://" : "http://") + host + UrlPath(url);
}

std::string TrimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

// The cookie's items for Storage.setCookies, each bound to the page's address.
Json CookieList(std::string_view cookie, const std::string& address) {
    Json list = Json::array();
    std::size_t start = 0;
    while (start <= cookie.size()) {
        std::size_t end = cookie.find(';', start);
        if (end == std::string_view::npos) end = cookie.size();
        const std::string item = TrimBlanks(cookie.substr(start, end - start));
        start = end + 1;
        if (item.empty()) continue;
        const std::size_t eq = item.find('=');
        Json one;
        one["name"] = eq == std::string::npos ? std::string() : TrimBlanks(item.substr(0, eq));
        one["value"] = eq == std::string::npos ? item : item.substr(eq + 1);
        one["url"] = address;
        list.push_back(std::move(one));
    }
    return list;
}

// A text for the browser's command line: control characters dropped.
std::string CommandLineText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    }
    return out;
}

// Cuts `text` at `limit` bytes without splitting a UTF-8 character.
void CutUtf8(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    std::size_t end = limit;
    for (int back = 0; back < 3 && end > 0; ++back) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80) break;
        --end;
    }
    if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) end = limit;
    text.resize(end);
}

// Writes all of `data` without letting a closed pipe raise SIGPIPE in the
// program: the signal is blocked on this thread while writing, and one it caused
// is taken back. A pipe that stays full is given up at `deadline`.
bool WriteAll(int fd, std::string_view data, Clock::time_point deadline) {
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    bool ok = true;
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && Clock::now() < deadline) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, static_cast<int>(kPollStep.count()));
            continue;
        }
        ok = false;
        if (n < 0 && errno == EPIPE && !wasPending) {
            const timespec zero{};
            sigtimedwait(&pipeSet, nullptr, &zero);
        }
        break;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

// One render: the browser's process group, the protocol over its pipes, and the
// limits that end it.
class Render {
public:
    Render(const RenderOptions& options, RenderResult& result)
        : options_(options), result_(result), start_(Clock::now()) {}

    ~Render() { KillGroup(); }

    bool Start(const std::string& program, const std::string& profile,
               const std::string& userAgent) {
        int commands[2], replies[2];
        if (pipe2(commands, O_CLOEXEC) != 0) return StartFailed("pipe");
        Fd commandRead(commands[0]);
        commands_.Reset(commands[1]);
        if (pipe2(replies, O_CLOEXEC) != 0) return StartFailed("pipe");
        replies_.Reset(replies[0]);
        Fd replyWrite(replies[1]);
        fcntl(commands_.get(), F_SETFL, O_NONBLOCK);

        std::vector<std::string> args = {program,
                                         "--headless",
                                         "--disable-gpu",
                                         "--remote-debugging-pipe",
                                         "--user-data-dir=" + profile,
                                         "--no-first-run",
                                         "--no-default-browser-check",
                                         "--disable-extensions",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--mute-audio",
                                         "--hide-scrollbars"};
        // The browser's sandbox refuses to run as root; only then is it given up.
        if (geteuid() == 0) args.push_back("--no-sandbox");
        const std::string agent = CommandLineText(userAgent);
        if (!agent.empty()) args.push_back("--user-agent=" + agent);
        args.push_back("about:blank");
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) return StartFailed("fork");
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            const int in = fcntl(commandRead.get(), F_DUPFD, 10);
            const int out = fcntl(replyWrite.get(), F_DUPFD, 10);
            if (in < 0 || out < 0 || dup2(in, 3) < 0 || dup2(out, 4) < 0) _exit(127);
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
                dup2(null, 2);
            }
            close_range(5, ~0U, 0);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // Set here too, so that the group exists before anything is sent to it.
        setpgid(pid, pid);
        pid_ = pid;
        process_.Reset(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
        return true;
    }

    // Sends a command and waits for its answer; false (with the failure set) when
    // it fails or the render ends first.
    bool Call(const std::string& method, Json params, Json& reply,
              const std::string& session = std::string()) {
        const int id = Send(method, std::move(params), session);
        if (id == 0) return false;
        if (!Pump(
                [id](const Json& message) {
                    const auto it = message.find("id");
                    return it != message.end() && it->is_number_integer() && it->get<int>() == id;
                },
                &reply)) {
            return false;
        }
        const auto error = reply.find("error");
        if (error != reply.end()) {
            std::string text = method;
            if (error->is_object() && error->contains("message") &&
                (*error)["message"].is_string()) {
                text += ": " + (*error)["message"].get<std::string>();
            }
            return Fail(RenderFailure::kProtocol, text);
        }
        return true;
    }

    int Send(const std::string& method, Json params, const std::string& session) {
        Json message;
        message["id"] = ++lastId_;
        message["method"] = method;
        message["params"] = std::move(params);
        if (!session.empty()) message["sessionId"] = session;
        std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
        text.push_back('\0');
        if (!WriteAll(commands_.get(), text, start_ + options_.timeLimit)) {
            // The browser is gone (its exit status says why), or the time is up.
            Pump([](const Json&) { return false; }, nullptr);
            return 0;
        }
        return lastId_;
    }

    // Waits until the budget of the page's time has run out.
    bool WaitSettled() {
        if (settled_) return true;
        return Pump([this](const Json&) { return settled_; }, nullptr);
    }

    // Asks the browser to close and gives it a moment, so that it ends its own
    // processes; the group is killed after that in any case.
    void Close() {
        if (pid_ <= 0) return;
        Json message = {{"id", ++lastId_}, {"method", "Browser.close"}, {"params", Json::object()}};
        std::string text = message.dump();
        text.push_back('\0');
        if (!WriteAll(commands_.get(), text, Clock::now() + kCloseGrace)) return;
        WaitForExit(Clock::now() + kCloseGrace);
    }

    // Kills whatever is left of the group and collects the first process. The
    // group is killed while its first process is not yet collected, so its id
    // cannot have been given to another group.
    void KillGroup() {
        if (pid_ <= 0) return;
        kill(-pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        process_.Reset();
    }

    bool Fail(RenderFailure failure, std::string detail = std::string()) {
        if (result_.failure == RenderFailure::kNone) {
            result_.failure = failure;
            result_.detail = std::move(detail);
        }
        return false;
    }

private:
    bool StartFailed(const char* what) {
        return Fail(RenderFailure::kStart, std::string(what) + ": " + std::strerror(errno));
    }

    bool Stop() const { return options_.stopRequested && options_.stopRequested(); }

    // True once the first process has ended (it stays uncollected); its exit
    // status is kept.
    bool Exited() {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            return false;
        }
        if (info.si_pid == 0) return false;
        result_.exitStatus = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
        return true;
    }

    void SampleMemory() {
        const auto now = Clock::now();
        if (now - lastSample_ < kMemoryStep) return;
        lastSample_ = now;
        const std::size_t bytes = GroupResidentBytes(pid_);
        if (bytes > result_.peakMemoryBytes) result_.peakMemoryBytes = bytes;
    }

    // Takes the complete messages out of the buffer; true when `done` accepted one.
    template <typename Done>
    bool TakeMessages(const Done& done, Json* out) {
        while (true) {
            const std::size_t end = buffer_.find('\0', scanned_);
            if (end == std::string::npos) {
                scanned_ = buffer_.size();
                return false;
            }
            Json message = Json::parse(std::string_view(buffer_).substr(0, end), nullptr, false);
            buffer_.erase(0, end + 1);
            scanned_ = 0;
            if (message.is_discarded() || !message.is_object()) {
                return Fail(RenderFailure::kProtocol, "a message that is not JSON");
            }
            const auto method = message.find("method");
            if (method != message.end() && *method == "Emulation.virtualTimeBudgetExpired") {
                settled_ = true;
            }
            if (done(message)) {
                if (out != nullptr) *out = std::move(message);
                return true;
            }
        }
    }

    // Reads the browser's messages until `done` accepts one, the browser ends, a
    // limit is reached or a stop comes.
    template <typename Done>
    bool Pump(const Done& done, Json* out) {
        // A message can hold the page three times over (escapes), plus its frame.
        const std::size_t messageLimit = options_.maxBytes * 6 + (std::size_t{1} << 20);
        const auto deadline = start_ + options_.timeLimit;
        char chunk[65536];
        while (true) {
            if (result_.failure != RenderFailure::kNone) return false;
            if (TakeMessages(done, out)) return true;
            if (result_.failure != RenderFailure::kNone) return false;
            if (Stop()) return Fail(RenderFailure::kStopped);
            const auto now = Clock::now();
            if (now >= deadline) return Fail(RenderFailure::kTimeLimit);
            SampleMemory();
            if (result_.peakMemoryBytes > options_.memoryLimitBytes) {
                return Fail(RenderFailure::kMemoryLimit);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            pollfd fds[2] = {{replies_.get(), POLLIN, 0}, {process_.get(), POLLIN, 0}};
            const int ready = poll(fds, process_.get() >= 0 ? 2 : 1,
                                   static_cast<int>(std::min(left, kPollStep).count()) + 1);
            if (ready < 0 && errno != EINTR) return Fail(RenderFailure::kProtocol, "poll");
            if (ready <= 0) {
                if (process_.get() < 0 && Exited()) return Fail(RenderFailure::kExited);
                continue;
            }
            if (fds[0].revents != 0) {
                const ssize_t n = read(replies_.get(), chunk, sizeof chunk);
                if (n > 0) {
                    buffer_.append(chunk, static_cast<std::size_t>(n));
                    if (buffer_.size() > messageLimit) {
                        return Fail(RenderFailure::kProtocol,
                                    "a message larger than the page limit");
                    }
                    continue;
                }
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                // The browser closed its end: it has ended, or is ending.
                WaitForExit(deadline);
                return Fail(RenderFailure::kExited);
            }
            if (fds[1].revents != 0 && Exited()) {
                // Whatever it wrote before it ended is still read first.
                pollfd rest{replies_.get(), POLLIN, 0};
                if (poll(&rest, 1, 0) > 0) continue;
                return Fail(RenderFailure::kExited);
            }
        }
    }

    void WaitForExit(Clock::time_point deadline) {
        while (!Exited() && Clock::now() < deadline && !Stop()) {
            pollfd p{process_.get(), POLLIN, 0};
            if (process_.get() < 0) {
                poll(nullptr, 0, static_cast<int>(kPollStep.count()));
            } else {
                poll(&p, 1, static_cast<int>(kPollStep.count()));
            }
        }
    }

    const RenderOptions& options_;
    RenderResult& result_;
    const Clock::time_point start_;
    Clock::time_point lastSample_{};
    pid_t pid_ = -1;
    Fd commands_, replies_, process_;
    std::string buffer_;
    std::size_t scanned_ = 0;
    int lastId_ = 0;
    bool settled_ = false;
};

// The page of a started browser: cookie, a fresh tab, the address, the page's
// time run until nothing is pending and its budget is spent, the document.
void TakePage(Render& render, const RenderRequest& request, const std::string& address,
              const RenderOptions& options, RenderResult& result) {
    Json reply;
    const Json cookies = CookieList(request.cookie, address);
    if (!cookies.empty() && !render.Call("Storage.setCookies", {{"cookies", cookies}}, reply)) {
        return;
    }
    if (!render.Call("Target.createTarget", {{"url", "about:blank"}}, reply)) return;
    const Json* target = reply.contains("result") ? &reply["result"] : nullptr;
    if (target == nullptr || !target->contains("targetId") || !(*target)["targetId"].is_string()) {
        render.Fail(RenderFailure::kProtocol, "Target.createTarget: no target");
        return;
    }
    const std::string targetId = (*target)["targetId"].get<std::string>();
    if (!render.Call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, reply)) {
        return;
    }
    const Json& attached = reply["result"];
    if (!attached.is_object() || !attached.contains("sessionId") ||
        !attached["sessionId"].is_string()) {
        render.Fail(RenderFailure::kProtocol, "Target.attachToTarget: no session");
        return;
    }
    const std::string session = attached["sessionId"].get<std::string>();
    // The page's clock stands still while it loads, so that its budget is counted
    // from the page, not from the blank tab it replaces.
    if (!render.Call("Emulation.setVirtualTimePolicy", {{"policy", "pause"}}, reply, session)) {
        return;
    }
    if (!render.Call("Page.navigate", {{"url", address}}, reply, session)) return;
    const Json& navigated = reply["result"];
    if (navigated.is_object() && navigated.contains("errorText") &&
        navigated["errorText"].is_string() && !navigated["errorText"].get<std::string>().empty()) {
        render.Fail(RenderFailure::kLoad, navigated["errorText"].get<std::string>());
        return;
    }
    if (!render.Call(
            "Emulation.setVirtualTimePolicy",
            {{"policy", "pauseIfNetworkFetchesPending"}, {"budget", options.settleBudgetMs}}, reply,
            session)) {
        return;
    }
    if (!render.WaitSettled()) return;
    // One character more than the limit allows tells a cut page; a half of a
    // surrogate pair left by the cut, or put there by the page, is made whole.
    const std::string expression =
        "(() => { const e = document.documentElement; if (!e) return ''; "
        "let h = e.outerHTML; if (h.length > " +
        std::to_string(options.maxBytes) + ") h = h.slice(0, " +
        std::to_string(options.maxBytes + 1) + "); return h.toWellFormed(); })()";
    if (!render.Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}},
                     reply, session)) {
        return;
    }
    const Json& evaluated = reply["result"];
    if (!evaluated.is_object() || evaluated.contains("exceptionDetails") ||
        !evaluated.contains("result") || !evaluated["result"].is_object() ||
        !evaluated["result"].contains("value") || !evaluated["result"]["value"].is_string()) {
        render.Fail(RenderFailure::kProtocol, "Runtime.evaluate: no document");
        return;
    }
    result.page = evaluated["result"]["value"].get<std::string>();
    if (result.page.size() > options.maxBytes) {
        CutUtf8(result.page, options.maxBytes);
        render.Fail(RenderFailure::kSizeLimit);
    }
}

std::string SizeText(std::size_t bytes, const char* unit) {
    constexpr std::size_t kGiB = std::size_t{1} << 30, kMiB = std::size_t{1} << 20;
    if (bytes >= kGiB && bytes % kGiB == 0) return std::to_string(bytes / kGiB) + " GiB";
    if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + unit;
}

std::string SecondsText(std::chrono::milliseconds limit, const char* seconds, const char* ms) {
    if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + seconds;
    return std::to_string(limit.count()) + ms;
}

std::string ExitText(int status) {
    if (status > 128) return "ended by signal " + std::to_string(status - 128);
    return "exited with status " + std::to_string(status);
}

}  // namespace

RenderResult RenderPage(const RenderRequest& request, const RenderOptions& options) {
    RenderResult result;
    const auto start = Clock::now();
    const std::string address = BrowserAddress(request.url);
    if (address.empty()) {
        result.failure = RenderFailure::kAddress;
        return result;
    }
    const std::string program = FindProgram(options.program);
    if (program.empty()) {
        result.failure = RenderFailure::kMissing;
        return result;
    }
    RenderSlot slot(options.stopRequested);
    if (!slot.Held()) {
        result.failure = RenderFailure::kStopped;
        return result;
    }
    // Declared before the render, so that the profile is removed only once the
    // group that writes in it has been killed.
    TempProfile profile(options.tempFolder);
    if (profile.path().empty() || !profile.SetDefaultEncoding(request.defaultEncoding)) {
        result.failure = RenderFailure::kStart;
        result.detail = std::string("temporary profile: ") + std::strerror(errno);
        return result;
    }
    {
        Render render(options, result);
        if (render.Start(program, profile.path(), request.userAgent)) {
            try {
                TakePage(render, request, address, options, result);
            } catch (const std::exception& error) {
                render.Fail(RenderFailure::kProtocol, error.what());
            }
            if (result.failure == RenderFailure::kNone ||
                result.failure == RenderFailure::kSizeLimit) {
                render.Close();
            }
        }
    }
    if (result.failure == RenderFailure::kExited && result.exitStatus == 127) {
        result.detail = "the browser program could not be run";
    }
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return result;
}

std::string RenderFailureText(const RenderResult& result, const RenderOptions& options) {
    const std::string detail = result.detail.empty() ? "" : " (" + result.detail + ")";
    switch (result.failure) {
        case RenderFailure::kNone:
            return {};
        case RenderFailure::kAddress:
            return "no request can be made of the address";
        case RenderFailure::kStopped:
            return "stopped";
        case RenderFailure::kMissing:
            return std::string("the browser is not installed: install the package ") +
                   kBrowserPackage + " (sudo apt-get install " + kBrowserPackage + ")";
        case RenderFailure::kStart:
            return "the browser could not be started" + detail;
        case RenderFailure::kExited:
            return "the browser " + ExitText(result.exitStatus) + " before the page was rendered" +
                   detail;
        case RenderFailure::kTimeLimit:
            return "render time limit (" + SecondsText(options.timeLimit, " s", " ms") + ")";
        case RenderFailure::kMemoryLimit:
            return "render memory limit reached (" + SizeText(options.memoryLimitBytes, " bytes") +
                   ")";
        case RenderFailure::kSizeLimit:
            return "size limit reached (" + SizeText(options.maxBytes, " bytes") + ")";
        case RenderFailure::kLoad:
            return "the browser could not load the page" + detail;
        case RenderFailure::kProtocol:
            return "the browser gave an answer that cannot be used" + detail;
    }
    return {};
}

std::string RenderFailureStatusText(const RenderResult& result, const RenderOptions& options) {
    const std::string detail = result.detail.empty() ? "" : "（" + result.detail + "）";
    switch (result.failure) {
        case RenderFailure::kNone:
        case RenderFailure::kStopped:
            return {};
        case RenderFailure::kAddress:
            return "出错！这个网址无法发出请求";
        case RenderFailure::kMissing:
            return std::string("出错！没有找到浏览器，请安装 ") + kBrowserPackage + " 软件包";
        case RenderFailure::kStart:
            return "出错！浏览器无法启动" + detail;
        case RenderFailure::kExited: {
            const int status = result.exitStatus;
            return std::string("出错！浏览器意外退出（") +
                   (status > 128 ? "信号 " + std::to_string(status - 128)
                                 : "退出码 " + std::to_string(status)) +
                   "）";
        }
        case RenderFailure::kTimeLimit:
            return "出错！浏览器渲染超过时限（" + SecondsText(options.timeLimit, " 秒", " 毫秒") +
                   "）";
        case RenderFailure::kMemoryLimit:
            return "出错！浏览器渲染超过内存上限（" + SizeText(options.memoryLimitBytes, " 字节") +
                   "）";
        case RenderFailure::kSizeLimit:
            return "出错！页面超过大小上限（" + SizeText(options.maxBytes, " 字节") +
                   "），只取了前 " + SizeText(options.maxBytes, " 字节");
        case RenderFailure::kLoad:
            return "出错！浏览器无法打开页面" + detail;
        case RenderFailure::kProtocol:
            return "出错！浏览器的应答无法使用" + detail;
    }
    return {};
}

}  // namespace vela
