#include "tests/support/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace vela::test {
namespace {

// How long the server waits for the rest of a request before it answers anyway.
constexpr int kReadTimeoutMs = 5000;

// Length of the request in `data` when it is complete (header and the body its
// Content-Length announces), otherwise 0.
std::size_t CompleteLength(const std::string& data) {
    const std::size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos) return 0;
    std::string lower = data.substr(0, end);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t body = 0;
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at != std::string::npos) body = std::strtoul(lower.c_str() + at + 17, nullptr, 10);
    const std::size_t total = end + 4 + body;
    return data.size() >= total ? total : 0;
}

}  // namespace

int BindLoopback(int* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = BindLoopback(&port_);
    int pipeFds[2];
    if (listener_ < 0 || listen(listener_, 16) != 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot start the loopback server");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    const char byte = 0;
    (void)!write(wakeWrite_, &byte, 1);
    thread_.join();
    close(listener_);
    close(wakeRead_);
    close(wakeWrite_);
}

std::string LoopbackHttpServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackHttpServer::WaitForRequests(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool LoopbackHttpServer::WaitForReplies(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return replies_ >= count; });
}

void LoopbackHttpServer::Run() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Serve(connection);
        close(connection);
    }
}

void LoopbackHttpServer::Serve(int connection) {
    // Waits until the connection is ready for `events`; false when the server
    // stops or the time is up.
    const auto await = [&](short events, int timeoutMs) {
        pollfd fds[2] = {{connection, events, 0}, {wakeRead_, POLLIN, 0}};
        return poll(fds, 2, timeoutMs) > 0 && !fds[1].revents && fds[0].revents;
    };
    std::string request;
    char buffer[65536];
    while (await(POLLIN, kReadTimeoutMs)) {
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, n);
        if (!std::isalpha(static_cast<unsigned char>(request[0]))) break;
        if (const std::size_t length = CompleteLength(request)) {
            request.resize(length);
            break;
        }
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    changed_.notify_all();

    const CannedReply reply = handler_(request);
    std::size_t written = 0;
    while (written < reply.bytes.size() && await(POLLOUT, -1)) {
        const ssize_t n = send(connection, reply.bytes.data() + written,
                               reply.bytes.size() - written, MSG_NOSIGNAL);
        if (n <= 0) break;
        written += n;
    }
    {
        std::lock_guard lock(mutex_);
        if (written == reply.bytes.size()) ++replies_;
    }
    changed_.notify_all();
    // Until the client leaves (its close shows as readable) or the server stops.
    while (reply.trickleEvery.count() > 0) {
        pollfd fds[2] = {{connection, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(reply.trickleEvery.count()));
        if (ready != 0 || send(connection, "x", 1, MSG_NOSIGNAL) != 1) break;
    }
    // A stalled peer: silent until the client gives up (its close reads as EOF).
    while (reply.holdOpen && await(POLLIN, -1)) {
        if (recv(connection, buffer, sizeof buffer, 0) <= 0) break;
    }
}

int UnusedLoopbackPort() {
    int port = 0;
    const int fd = BindLoopback(&port);
    if (fd >= 0) close(fd);
    return port;
}

DeadLoopbackPort::DeadLoopbackPort() {
    listener_ = BindLoopback(&port_);
    if (listener_ < 0 || listen(listener_, 0) != 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port_);
    // Connect until one attempt is left hanging: the queue is then full.
    for (int i = 0; i < 16 && !ok_; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        fillers_.push_back(fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) continue;
        pollfd pfd{fd, POLLOUT, 0};
        ok_ = poll(&pfd, 1, 200) == 0;
    }
}

DeadLoopbackPort::~DeadLoopbackPort() {
    for (int fd : fillers_) close(fd);
    if (listener_ >= 0) close(listener_);
}

std::string RequestTarget(const std::string& request) {
    const std::size_t a = request.find(' ');
    const std::size_t b = request.find(' ', a + 1);
    if (a == std::string::npos || b == std::string::npos) return {};
    return request.substr(a + 1, b - a - 1);
}

std::string SimpleResponse(std::string_view status, std::string_view body,
                           std::string_view extraHeaders) {
    std::string out = "HTTP/1.1 " + std::string(status) + "\r\n";
    out.append(extraHeaders);
    out.append("Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
    out.append(body);
    return out;
}

}  // namespace vela::test
