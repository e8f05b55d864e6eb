#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A tiny HTTP server on 127.0.0.1 for network tests. It records the raw bytes of
// every request and answers each with the bytes a handler gives, exactly as given
// (no header is added), then closes the connection. It can also play a stalled
// peer: write part of an answer and then stay silent. Connections are served one
// at a time on one thread; the destructor ends any of them at once.

namespace vela::test {

struct CannedReply {
    std::string bytes;  // written as they are
    // After writing, keep the connection open and silent until the client
    // leaves or the server stops.
    bool holdOpen = false;
    // A trickling peer: after `bytes`, one byte every `trickleEvery` for as long
    // as the client stays (a server that never quite stalls).
    std::chrono::milliseconds trickleEvery{0};
};

class LoopbackHttpServer {
public:
    using Handler = std::function<CannedReply(const std::string& request)>;

    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(std::string_view path) const;

    // Raw bytes of each request received so far, in order. A connection that does
    // not speak HTTP (a TLS hello) is recorded with the bytes of its first read
    // and answered at once.
    std::vector<std::string> Requests() const;
    // Waits until `count` requests were received, or the time is up.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until `count` replies were written completely, or the time is up.
    bool WaitForReplies(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Run();
    void Serve(int connection);

    Handler handler_;
    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::size_t replies_ = 0;
    std::thread thread_;
};

// A socket bound to a free port of 127.0.0.1 (not yet listening), its port in
// `port`; -1 when none could be had.
int BindLoopback(int* port);

// A loopback port where nothing listens: bound once and released again.
int UnusedLoopbackPort();

// A loopback port whose listener never accepts and whose queue is full, so a new
// connection attempt gets no answer at all, as with a host that is down.
class DeadLoopbackPort {
public:
    DeadLoopbackPort();
    ~DeadLoopbackPort();
    DeadLoopbackPort(const DeadLoopbackPort&) = delete;
    DeadLoopbackPort& operator=(const DeadLoopbackPort&) = delete;

    int port() const { return port_; }
    // False when the queue could not be filled (then connections may succeed).
    bool ok() const { return ok_; }

private:
    int listener_ = -1;
    int port_ = 0;
    bool ok_ = false;
    std::vector<int> fillers_;
};

// The request target of a raw request: the second word of its first line.
std::string RequestTarget(const std::string& request);

// "HTTP/1.1 <status>" with Content-Length and Connection: close, and `body`.
std::string SimpleResponse(std::string_view status, std::string_view body,
                           std::string_view extraHeaders = {});

}  // namespace vela::test
