#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 that serves many connections at once, one thread
// each, for the tests and benchmarks of concurrent checks. Every request is
// answered after its reply's delay (a stop of the server cuts the delay short),
// or never (a stalled peer, silent until the client leaves). It counts the
// requests in flight per host name (the Host header without its port) and keeps
// the largest count seen.

namespace vela::test {

struct TimedReply {
    std::string bytes;
    std::chrono::milliseconds delay{0};
    bool stall = false;  // send nothing at all
};

class ConcurrentHttpServer {
public:
    // Called with the host name and the request target.
    using Handler = std::function<TimedReply(const std::string& host, const std::string& target)>;

    explicit ConcurrentHttpServer(Handler handler);
    ~ConcurrentHttpServer();
    ConcurrentHttpServer(const ConcurrentHttpServer&) = delete;
    ConcurrentHttpServer& operator=(const ConcurrentHttpServer&) = delete;

    int port() const { return port_; }
    // "http://<host>:<port><path>"; a host under .localhost reaches this server.
    std::string Url(const std::string& host, const std::string& path) const;

    std::size_t RequestCount() const;
    // The most requests to `host` in flight at one moment; to any host when empty.
    int MostInFlight(const std::string& host = {}) const;
    // Waits until `count` requests came, or the time is up.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Accept();
    void Serve(int connection);

    Handler handler_;
    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::size_t requests_ = 0;
    int inFlightAll_ = 0, mostAll_ = 0;
    std::map<std::string, int> inFlight_, most_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace vela::test
