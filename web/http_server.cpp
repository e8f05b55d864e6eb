#include "http_server.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <ctime>
#include <future>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "feed_time.h"
#include "worker_pool.h"

namespace vela {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {
class Session;
}

struct HttpServer::State {
    State(WebHandler h, QuickHandler q, ServerLimits l)
        : handler(std::move(h)),
          atOnce(std::move(q)),
          limits(l),
          pool(l.workers, static_cast<std::size_t>(std::max(l.queuedRequests, 0))) {}

    WebHandler handler;
    QuickHandler atOnce;
    ServerLimits limits;
    // What a connection touches when it goes is declared before `io`: the
    // connections still held by handlers queued in `io` go when it does.
    std::atomic<int> connections{0};
    std::mutex clientsMutex;
    std::unordered_map<std::string, int> perClient;  // open connections by client
    std::list<std::weak_ptr<Session>> sessions;      // every open connection
    asio::io_context io;
    // The acceptor and its timers, used on this strand only.
    asio::strand<asio::io_context::executor_type> listening{asio::make_strand(io)};
    tcp::acceptor acceptor{listening};
    asio::steady_timer acceptPause{listening};
    asio::steady_timer sweep{listening};
    bool sweeping = false;
    // Declared after `io`, so stopped before it goes: a dropped task still holds
    // a connection.
    WorkerPool pool;
    std::vector<std::thread> threads;
    uint16_t port = 0;
};

namespace {

// Library faults (a failed allocation) end the connection, never the server.
WebResponse Answer(HttpServer::State& state, const WebRequest& request) {
    try {
        return state.handler(request);
    } catch (const std::exception&) {
        WebResponse response;
        response.status = 500;
        response.contentType = "text/plain; charset=utf-8";
        response.body = "internal error\n";
        return response;
    }
}

std::optional<WebResponse> AnswerAtOnce(HttpServer::State& state, const WebRequest& request) {
    if (!state.atOnce) return std::nullopt;
    try {
        return state.atOnce(request);
    } catch (const std::exception&) {
        return std::nullopt;  // the full handler tries again
    }
}

WebResponse Refusal(int status) {
    WebResponse refusal;
    refusal.status = status;
    refusal.contentType = "text/plain; charset=utf-8";
    refusal.body = status == 503 ? "too many requests at once, try again\n" : "request refused\n";
    if (status == 503) refusal.Set("Retry-After", "1");
    return refusal;
}

// Whom a connection counts against: its address, or for IPv6 its /64, since one
// client may hold every address of its network.
std::string ClientOf(const tcp::socket& socket) {
    beast::error_code ec;
    const tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec) return {};
    const asio::ip::address address = peer.address();
    if (!address.is_v6()) return address.to_string();
    const asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

// Half the connections open: idle ones are closed sooner.
bool Crowded(const HttpServer::State& state) {
    return state.connections.load() * 2 >= state.limits.connections;
}

class Session : public std::enable_shared_from_this<Session> {
public:
    // The connection was counted for `client` by Admit; it is counted off here.
    Session(tcp::socket socket, HttpServer::State& state, std::string client)
        : stream_(std::move(socket)),
          state_(state),
          client_(std::move(client)),
          buffer_(state.limits.headerBytes + state.limits.bodyBytes + 1024) {}
    ~Session() {
        {
            std::lock_guard lock(state_.clientsMutex);
            if (listed_) state_.sessions.erase(entry_);
            const auto it = state_.perClient.find(client_);
            if (it != state_.perClient.end() && --it->second <= 0) state_.perClient.erase(it);
        }
        state_.connections.fetch_sub(1);
    }

    void Start() {
        {
            std::lock_guard lock(state_.clientsMutex);
            entry_ = state_.sessions.insert(state_.sessions.end(), weak_from_this());
            listed_ = true;
        }
        asio::dispatch(stream_.get_executor(),
                       beast::bind_front_handler(&Session::Read, shared_from_this()));
    }

    // Closes the connection if it has waited for a request since before `cutoff`.
    void CloseIfWaitingSince(std::chrono::steady_clock::time_point cutoff) {
        asio::post(stream_.get_executor(), [self = shared_from_this(), cutoff] {
            if (self->waiting_ && self->waitingSince_ <= cutoff) self->stream_.close();
        });
    }

    // Closes the connection from any thread; only while no thread runs the server.
    void Drop() { stream_.close(); }

private:
    void Read() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(state_.limits.headerBytes));
        // A Content-Length above the limit is refused as soon as the header is read.
        parser_->body_limit(state_.limits.bodyBytes);
        const int seconds =
            Crowded(state_) ? state_.limits.busyIdleSeconds : state_.limits.idleSeconds;
        stream_.expires_after(std::chrono::seconds(seconds));
        waiting_ = true;
        waitingSince_ = std::chrono::steady_clock::now();
        http::async_read_header(stream_, buffer_, *parser_,
                                beast::bind_front_handler(&Session::OnHeader, shared_from_this()));
    }

    // Only a POST has a body (a form); any other request with one is refused
    // before its body is read.
    void OnHeader(beast::error_code ec, std::size_t) {
        if (ec || parser_->is_done()) return OnRead(ec, 0);
        if (parser_->get().method() != http::verb::post) {
            return OnRead(http::error::unexpected_body, 0);
        }
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&Session::OnRead, shared_from_this()));
    }

    void OnRead(beast::error_code ec, std::size_t) {
        waiting_ = false;
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == asio::error::bad_descriptor) {
            return Close();
        }
        if (ec) {
            // Too long, a body too large, or not HTTP: say so and close; the rest of
            // the request is not read.
            const int status =
                ec == http::error::header_limit || ec == http::error::buffer_overflow ? 431
                : ec == http::error::unexpected_body || ec == http::error::body_limit ? 413
                                                                                      : 400;
            return Send(Refusal(status), false, 11, false);
        }
        const auto& req = parser_->get();
        WebRequest request;
        request.method = std::string(req.method_string());
        request.target = std::string(req.target());
        const auto field = [&](http::field name) { return std::string(req[name]); };
        request.host = field(http::field::host);
        request.authorization = field(http::field::authorization);
        request.ifNoneMatch = field(http::field::if_none_match);
        request.ifModifiedSince = field(http::field::if_modified_since);
        request.cookie = field(http::field::cookie);
        request.origin = field(http::field::origin);
        request.referer = field(http::field::referer);
        request.forwardedProto = std::string(req["X-Forwarded-Proto"]);
        request.contentType = field(http::field::content_type);
        request.body = std::move(parser_->get().body());
        const bool keepAlive = req.keep_alive();
        const unsigned version = req.version();
        const bool head = req.method() == http::verb::head;
        if (auto answer = AnswerAtOnce(state_, request)) {
            return Send(std::move(*answer), keepAlive, version, head);
        }
        // The answer may wait for the database: a worker makes it, and this
        // thread goes on with the other connections.
        auto self = shared_from_this();
        const bool queued = state_.pool.Submit([self, request, keepAlive, version, head] {
            WebResponse answer = Answer(self->state_, request);
            asio::post(self->stream_.get_executor(),
                       [self, answer = std::move(answer), keepAlive, version, head]() mutable {
                           self->Send(std::move(answer), keepAlive, version, head);
                       });
        });
        if (!queued) Send(Refusal(503), false, version, head);
    }

    void Send(WebResponse answer, bool keepAlive, unsigned version, bool head) {
        auto res = std::make_shared<http::response<http::string_body>>(
            static_cast<http::status>(answer.status), version);
        res->set(http::field::server, "vela");
        res->set(http::field::date, HttpDate(std::time(nullptr)));
        if (!answer.contentType.empty()) res->set(http::field::content_type, answer.contentType);
        for (const auto& [name, value] : answer.headers) res->set(name, value);
        res->body() = std::move(answer.body);
        res->keep_alive(keepAlive);
        res->prepare_payload();
        // A HEAD answer says how long the body would be, and sends none.
        if (head) res->body().clear();
        response_ = res;
        stream_.expires_after(std::chrono::seconds(state_.limits.idleSeconds));
        http::async_write(
            stream_, *res,
            beast::bind_front_handler(&Session::OnWrite, shared_from_this(), res->keep_alive()));
    }

    void OnWrite(bool keepAlive, beast::error_code ec, std::size_t) {
        response_.reset();
        if (ec || !keepAlive) return Close();
        Read();
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    HttpServer::State& state_;
    const std::string client_;
    std::list<std::weak_ptr<Session>>::iterator entry_;
    bool listed_ = false;
    bool waiting_ = false;  // for a request; on the connection's strand only
    std::chrono::steady_clock::time_point waitingSince_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::shared_ptr<http::response<http::string_body>> response_;
};

// Counts a new connection of `client`, unless the server or that client is at its
// limit.
bool Admit(HttpServer::State& state, const std::string& client) {
    std::lock_guard lock(state.clientsMutex);
    if (state.connections.load() >= state.limits.connections) return false;
    const auto [it, added] = state.perClient.try_emplace(client, 0);
    if (it->second >= state.limits.connectionsPerClient) return false;
    ++it->second;
    state.connections.fetch_add(1);
    return true;
}

// While the server is crowded, once a second: the connections that have waited
// longer than the short idle time for a request are closed. On `listening`.
void SweepWhileCrowded(HttpServer::State& state) {
    if (state.sweeping || !state.acceptor.is_open()) return;
    state.sweeping = true;
    state.sweep.expires_after(std::chrono::seconds(1));
    state.sweep.async_wait([&state](beast::error_code ec) {
        state.sweeping = false;
        if (ec || !state.acceptor.is_open() || !Crowded(state)) return;
        std::vector<std::shared_ptr<Session>> open;
        {
            std::lock_guard lock(state.clientsMutex);
            open.reserve(state.sessions.size());
            for (const auto& weak : state.sessions) {
                if (auto session = weak.lock()) open.push_back(std::move(session));
            }
        }
        const auto cutoff =
            std::chrono::steady_clock::now() - std::chrono::seconds(state.limits.busyIdleSeconds);
        for (const auto& session : open) session->CloseIfWaitingSince(cutoff);
        open.clear();
        SweepWhileCrowded(state);
    });
}

void Accept(HttpServer::State& state) {
    state.acceptor.async_accept(
        asio::make_strand(state.io), [&state](beast::error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !state.acceptor.is_open()) return;
            if (ec && ec != asio::error::connection_aborted) {
                // Out of descriptors or memory: trying again at once fails the
                // same way, so wait a little instead of spinning.
                state.acceptPause.expires_after(std::chrono::milliseconds(100));
                state.acceptPause.async_wait([&state](beast::error_code waitEc) {
                    if (!waitEc && state.acceptor.is_open()) Accept(state);
                });
                return;
            }
            if (!ec) {
                std::string client = ClientOf(socket);
                if (Admit(state, client)) {
                    std::make_shared<Session>(std::move(socket), state, std::move(client))->Start();
                } else {
                    beast::error_code ignored;
                    socket.close(ignored);
                }
                if (Crowded(state)) SweepWhileCrowded(state);
            }
            Accept(state);
        });
}

}  // namespace

HttpServer::HttpServer(WebHandler handler, ServerLimits limits, QuickHandler atOnce)
    : state_(std::make_unique<State>(std::move(handler), std::move(atOnce), limits)) {}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Listen(const std::string& address, uint16_t port, std::string& error) {
    beast::error_code ec;
    const asio::ip::address ip =
        asio::ip::make_address(address == "localhost" ? std::string("127.0.0.1") : address, ec);
    if (ec) {
        error = "not an address: " + address;
        return false;
    }
    const tcp::endpoint endpoint(ip, port);
    state_->acceptor.open(endpoint.protocol(), ec);
    if (!ec) state_->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) state_->acceptor.bind(endpoint, ec);
    if (!ec) state_->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        const std::string shown = ip.is_v6() ? "[" + address + "]" : address;
        error = "cannot listen on " + shown + ":" + std::to_string(port) + ": " + ec.message();
        beast::error_code ignored;
        state_->acceptor.close(ignored);
        return false;
    }
    state_->port = state_->acceptor.local_endpoint(ec).port();
    return true;
}

uint16_t HttpServer::Port() const { return state_->port; }

void HttpServer::Start(int threads) {
    state_->pool.Start();
    Accept(*state_);
    for (int i = 0; i < threads; ++i) {
        state_->threads.emplace_back([this] { state_->io.run(); });
    }
}

void HttpServer::Stop() {
    if (state_->threads.empty()) return;
    // Listening ends first, on the strand that accepts, and is waited for: from
    // then on a new connection is refused rather than left in the queue of a
    // socket that nobody accepts from.
    std::promise<void> closed;
    std::future<void> done = closed.get_future();
    asio::post(state_->listening, [this, &closed] {
        beast::error_code ignored;
        state_->acceptor.close(ignored);
        state_->acceptPause.cancel();
        state_->sweep.cancel();
        closed.set_value();
    });
    done.wait_for(std::chrono::seconds(5));
    state_->io.stop();
    for (auto& thread : state_->threads) thread.join();
    state_->threads.clear();
    state_->pool.Stop();
    // Nothing runs any more: the connections still open are closed here, not
    // left to wait until the server goes.
    std::vector<std::shared_ptr<Session>> open;
    {
        std::lock_guard lock(state_->clientsMutex);
        for (const auto& weak : state_->sessions) {
            if (auto session = weak.lock()) open.push_back(std::move(session));
        }
    }
    for (const auto& session : open) session->Drop();
}

}  // namespace vela
