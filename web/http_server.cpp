#include "http_server.h"

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <optional>
#include <thread>
#include <vector>

namespace vela {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

struct HttpServer::State {
    State(WebHandler h, ServerLimits l) : handler(std::move(h)), limits(l) {}

    WebHandler handler;
    ServerLimits limits;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    std::atomic<int> connections{0};
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

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, HttpServer::State& state)
        : stream_(std::move(socket)), state_(state), buffer_(state.limits.headerBytes + 1024) {
        state_.connections.fetch_add(1);
    }
    ~Session() { state_.connections.fetch_sub(1); }

    void Start() {
        asio::dispatch(stream_.get_executor(),
                       beast::bind_front_handler(&Session::Read, shared_from_this()));
    }

private:
    void Read() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(state_.limits.headerBytes));
        stream_.expires_after(std::chrono::seconds(state_.limits.idleSeconds));
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&Session::OnRead, shared_from_this()));
    }

    void OnRead(beast::error_code ec, std::size_t) {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::eof ||
            ec == asio::error::connection_reset) {
            return Close();
        }
        if (ec) {
            // Too long, a body where none belongs, or not HTTP: say so and close.
            const int status =
                ec == http::error::header_limit || ec == http::error::buffer_overflow ? 431
                : ec == http::error::unexpected_body || ec == http::error::body_limit ? 413
                                                                                      : 400;
            WebResponse refusal;
            refusal.status = status;
            refusal.contentType = "text/plain; charset=utf-8";
            refusal.body = "request refused\n";
            return Send(std::move(refusal), false, 11, false);
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
        const bool head = req.method() == http::verb::head;
        Send(Answer(state_, request), req.keep_alive(), req.version(), head);
    }

    void Send(WebResponse answer, bool keepAlive, unsigned version, bool head) {
        auto res = std::make_shared<http::response<http::string_body>>(
            static_cast<http::status>(answer.status), version);
        res->set(http::field::server, "vela");
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
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::shared_ptr<http::response<http::string_body>> response_;
};

void Accept(HttpServer::State& state) {
    state.acceptor.async_accept(
        asio::make_strand(state.io), [&state](beast::error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !state.acceptor.is_open()) return;
            if (!ec) {
                if (state.connections.load() >= state.limits.connections) {
                    beast::error_code ignored;
                    socket.close(ignored);
                } else {
                    std::make_shared<Session>(std::move(socket), state)->Start();
                }
            }
            Accept(state);
        });
}

}  // namespace

HttpServer::HttpServer(WebHandler handler, ServerLimits limits)
    : state_(std::make_unique<State>(std::move(handler), limits)) {}

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
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + ec.message();
        beast::error_code ignored;
        state_->acceptor.close(ignored);
        return false;
    }
    state_->port = state_->acceptor.local_endpoint(ec).port();
    return true;
}

uint16_t HttpServer::Port() const { return state_->port; }

void HttpServer::Start(int threads) {
    Accept(*state_);
    for (int i = 0; i < threads; ++i) {
        state_->threads.emplace_back([this] { state_->io.run(); });
    }
}

void HttpServer::Stop() {
    if (state_->threads.empty()) return;
    asio::post(state_->io, [this] {
        beast::error_code ignored;
        state_->acceptor.close(ignored);
    });
    state_->io.stop();
    for (auto& thread : state_->threads) thread.join();
    state_->threads.clear();
}

}  // namespace vela
