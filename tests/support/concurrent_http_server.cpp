#include "tests/support/concurrent_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "tests/support/loopback_http_server.h"

namespace vela::test {
namespace {

// The value of the Host header, lower-cased, without its port.
std::string HostOf(const std::string& request) {
    std::string lower = request;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find("\r\nhost:");
    if (at == std::string::npos) return {};
    std::size_t from = at + 7;
    while (from < lower.size() && lower[from] == ' ') ++from;
    const std::size_t end = lower.find_first_of(":\r", from);
    return lower.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

}  // namespace

ConcurrentHttpServer::ConcurrentHttpServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = BindLoopback(&port_);
    int pipeFds[2];
    if (listener_ < 0 || listen(listener_, 512) != 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot start the concurrent loopback server");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    acceptor_ = std::thread([this] { Accept(); });
}

ConcurrentHttpServer::~ConcurrentHttpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const char byte = 0;
    (void)!write(wakeWrite_, &byte, 1);
    acceptor_.join();
    for (std::thread& connection : connections_) connection.join();
    close(listener_);
    close(wakeRead_);
    close(wakeWrite_);
}

std::string ConcurrentHttpServer::Url(const std::string& host, const std::string& path) const {
    return "http://" + host + ":" + std::to_string(port_) + path;
}

std::size_t ConcurrentHttpServer::RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int ConcurrentHttpServer::MostInFlight(const std::string& host) const {
    std::lock_guard lock(mutex_);
    if (host.empty()) return mostAll_;
    const auto most = most_.find(host);
    return most == most_.end() ? 0 : most->second;
}

bool ConcurrentHttpServer::WaitForRequests(std::size_t count,
                                           std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_ >= count; });
}

void ConcurrentHttpServer::Accept() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] {
            Serve(connection);
            close(connection);
        });
    }
}

void ConcurrentHttpServer::Serve(int connection) {
    // Ready for `events` within `timeoutMs`; false when the server stops.
    const auto await = [&](short events, int timeoutMs) {
        pollfd fds[2] = {{connection, events, 0}, {wakeRead_, POLLIN, 0}};
        return poll(fds, 2, timeoutMs) > 0 && !fds[1].revents && fds[0].revents;
    };
    std::string request;
    char buffer[16384];
    while (request.find("\r\n\r\n") == std::string::npos && await(POLLIN, 5000)) {
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string host = HostOf(request);
    {
        std::lock_guard lock(mutex_);
        ++requests_;
        mostAll_ = std::max(mostAll_, ++inFlightAll_);
        most_[host] = std::max(most_[host], ++inFlight_[host]);
    }
    changed_.notify_all();
    const TimedReply reply = handler_(host, RequestTarget(request));
    {
        std::unique_lock lock(mutex_);
        if (reply.stall) {
            lock.unlock();
            // Silent until the client leaves (its close reads as EOF) or the server stops.
            while (await(POLLIN, -1) && recv(connection, buffer, sizeof buffer, 0) > 0) {
            }
            lock.lock();
        } else {
            changed_.wait_for(lock, reply.delay, [&] { return stopping_; });
        }
    }
    {
        // Counted out before the answer goes: the client cannot start its next
        // request to this host before it has the answer, so no request is
        // counted twice at once.
        std::lock_guard lock(mutex_);
        --inFlightAll_;
        --inFlight_[host];
    }
    std::size_t written = 0;
    while (!reply.stall && written < reply.bytes.size() && await(POLLOUT, 5000)) {
        const ssize_t n = send(connection, reply.bytes.data() + written,
                               reply.bytes.size() - written, MSG_NOSIGNAL);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
}

}  // namespace vela::test
