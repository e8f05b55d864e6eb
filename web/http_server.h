#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "web_exchange.h"

// The HTTP/1.1 server of the web view, on Boost.Beast: a few threads answer every
// connection asynchronously, and everything a client can make it hold is bounded.

namespace vela {

struct ServerLimits {
    std::size_t headerBytes = 8 * 1024;  // request line and headers; more is answered 431
    int connections = 256;               // more are closed at once
    int idleSeconds = 15;                // to read one request, or between two
};

class HttpServer {
public:
    explicit HttpServer(WebHandler handler, ServerLimits limits = {});
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
    // Stops answering and joins the threads; open connections are dropped.
    void Stop();

    struct State;  // the server's insides, shared with its connections

private:
    std::unique_ptr<State> state_;
};

}  // namespace vela
