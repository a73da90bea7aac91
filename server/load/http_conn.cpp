#include "http_conn.h"

namespace veltrina::load {

namespace beast = boost::beast;
namespace http = beast::http;

HttpConn::HttpConn(asio::io_context& ioc, tcp::endpoint server, std::string host,
                   std::optional<asio::ip::address> local)
    : stream_(ioc), server_(std::move(server)), host_(std::move(host)), local_(std::move(local)) {}

void HttpConn::Request(http::verb verb, std::string target, std::string body, const std::string& token,
                       std::chrono::milliseconds timeout, Done done) {
  busy_ = true;
  done_ = std::move(done);
  timeout_ = timeout;
  request_ = {};
  request_.method(verb);
  request_.target(target);
  request_.version(11);
  request_.set(http::field::host, host_);
  if (!token.empty()) request_.set(http::field::authorization, "Bearer " + token);
  if (verb == http::verb::post) {
    request_.set(http::field::content_type, "application/json");
    request_.body() = std::move(body);
  }
  request_.prepare_payload();
  if (open_) return Send();
  beast::error_code ec;
  auto& socket = stream_.socket();
  if (socket.is_open()) socket.close(ec);
  socket.open(server_.protocol(), ec);
  if (!ec && local_) socket.bind(tcp::endpoint(*local_, 0), ec);
  if (ec) return Fail("connect", ec);
  stream_.expires_after(timeout_);
  stream_.async_connect(server_, [self = shared_from_this()](beast::error_code ec) { self->Connected(ec); });
}

void HttpConn::Connected(beast::error_code ec) {
  if (ec) return Fail("connect", ec);
  open_ = true;
  Send();
}

void HttpConn::Send() {
  stream_.expires_after(timeout_);
  http::async_write(stream_, request_, [self = shared_from_this()](beast::error_code ec, size_t) {
    if (ec) return self->Fail("write", ec);
    self->parser_.emplace();
    self->parser_->body_limit(64 << 20);
    http::async_read(self->stream_, self->buffer_, *self->parser_, [self](beast::error_code ec, size_t) {
      if (ec) return self->Fail(ec == beast::error::timeout ? "timeout" : "read", ec);
      auto response = self->parser_->release();
      if (!response.keep_alive()) self->Close();
      self->busy_ = false;
      Done done = std::move(self->done_);
      done("", static_cast<int>(response.result_int()), std::move(response.body()));
    });
  });
}

void HttpConn::Fail(const std::string& what, beast::error_code ec) {
  Close();
  busy_ = false;
  Done done = std::move(done_);
  if (done) done(what + ": " + ec.message(), 0, {});
}

void HttpConn::Close() {
  open_ = false;
  buffer_.clear();
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
  stream_.socket().close(ignored);
}

}  // namespace veltrina::load
