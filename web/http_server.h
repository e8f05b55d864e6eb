#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "web_exchange.h"

// The HTTP/1.1 server of the web view, on Boost.Beast: a few threads answer every
// connection asynchronously, the answers that may wait for the database are made
// on a small pool of workers, and everything a client can make it hold is bounded.

namespace vela {

struct ServerLimits {
    std::size_t headerBytes = 8 * 1024;  // request line and headers; more is answered 431
    // A request's body (a form); a larger one is answered 413 without reading it.
    std::size_t bodyBytes = 64 * 1024;
    int connections = 256;          // more are closed at once
    int connectionsPerClient = 64;  // from one address (IPv6: one /64); more are closed
    int idleSeconds = 15;           // to read one request, or between two
    // Once half the connections are open, a connection that has waited this long
    // for its request is closed, so that idle ones cannot keep others out.
    int busyIdleSeconds = 2;
    int workers = 4;          // threads that make the answers that read the database
    int queuedRequests = 64;  // requests waiting for a worker; more are answered 503
};

class HttpServer {
public:
    // `handler` makes every answer on a worker; `atOnce`, when given, is asked
    // first on the server's own thread and answers what needs no database.
    explicit HttpServer(WebHandler handler, ServerLimits limits = {}, QuickHandler atOnce = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens on `address` (numeric IPv4 or IPv6, or "localhost") and
    // `port` (0: any free port). False, with one line in `error`, when it cannot.
    bool Listen(const std::string& address, uint16_t port, std::string& error);
    // The port listened on.
    uint16_t Port() const;
    // Answers requests on `threads` threads of its own until Stop().
    void Start(int threads);
    // Stops listening first (a new connection is refused from then on), then
    // answering; lets the answers under way finish, joins the threads and closes
    // the connections still open.
    void Stop();

    struct State;  // the server's insides, shared with its connections

private:
    std::unique_ptr<State> state_;
};

}  // namespace vela
