#pragma once
// One keep-alive HTTP/1.1 connection of the load generator: one request at a time, reconnecting
// when the last one failed. Everything runs on the generator's single I/O thread.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace veltrina::load {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

class HttpConn : public std::enable_shared_from_this<HttpConn> {
 public:
  // `error` is empty when an answer came (any status); otherwise what went wrong on the wire.
  using Done = std::function<void(const std::string& error, int status, std::string body)>;

  // `local`: the address its sockets bind to, so that users look like many hosts to the server's
  // per-address limits (any 127.x address works on loopback).
  HttpConn(asio::io_context& ioc, tcp::endpoint server, std::string host, std::optional<asio::ip::address> local);

  void Request(boost::beast::http::verb verb, std::string target, std::string body, const std::string& token,
               std::chrono::milliseconds timeout, Done done);
  bool busy() const { return busy_; }
  void Close();

 private:
  void Connected(boost::beast::error_code ec);
  void Send();
  void Fail(const std::string& what, boost::beast::error_code ec);

  boost::beast::tcp_stream stream_;
  tcp::endpoint server_;
  std::string host_;
  std::optional<asio::ip::address> local_;
  boost::beast::flat_buffer buffer_;
  boost::beast::http::request<boost::beast::http::string_body> request_;
  std::optional<boost::beast::http::response_parser<boost::beast::http::string_body>> parser_;
  std::chrono::milliseconds timeout_{};
  Done done_;
  bool open_ = false;
  bool busy_ = false;
};

}  // namespace veltrina::load
