// The HTTP front on Boost.Beast. Every connection is a Session on its own strand; nothing blocks
// an I/O thread, so a parked long-poll costs a socket and a few objects, never a thread.
#include <atomic>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <variant>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "http.h"
#include "http_target.h"
#include "http_temp_file.h"

namespace veltrina::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using beast::error_code;

namespace {

class Session;

// A peer that closed before its answer: logged under nginx's code, as no status was ever sent.
constexpr int kClientClosed = 499;
// How long a refused request's unread body is drained before closing, so the peer reads the
// refusal instead of a reset.
constexpr std::chrono::seconds kLingerTime{2};

bool IsParseError(const error_code& ec) {
  return ec.category() == http::make_error_code(http::error::bad_target).category() &&
         ec != http::error::end_of_stream && ec != http::error::partial_message;
}

// What the sessions share with the server. The io_context comes after the registry so that,
// when handlers still queued are destroyed with it, the sessions they free find the registry.
struct Core {
  Core(Handler& h, HttpLimits l, std::string dir, std::function<void(const std::string&)> lg)
      : handler(h), limits(l), temp_dir(std::move(dir)), log(std::move(lg)) {}
  ~Core() { destroying = true; }

  Handler& handler;
  const HttpLimits limits;
  const std::string temp_dir;
  const std::function<void(const std::string&)> log;

  std::mutex mutex;
  std::unordered_map<Session*, std::weak_ptr<Session>> sessions;
  std::atomic<size_t> connections{0};
  std::atomic<bool> stopping{false};
  std::atomic<bool> destroying{false};

  asio::io_context ioc;
  // The acceptor and the server's timers live on this strand; Stop posts to it from any thread.
  asio::strand<asio::io_context::executor_type> control{asio::make_strand(ioc)};
  tcp::acceptor acceptor{control};
  asio::steady_timer accept_retry{control};
  asio::steady_timer grace_timer{control};

  std::vector<std::shared_ptr<Session>> LiveSessions() {
    std::lock_guard lock(mutex);
    std::vector<std::shared_ptr<Session>> live;
    for (auto& [raw, weak] : sessions)
      if (auto s = weak.lock()) live.push_back(std::move(s));
    return live;
  }
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(std::shared_ptr<Core> core, tcp::socket socket)
      : core_(*core), core_weak_(core), stream_(std::move(socket)) {
    error_code ec;
    const auto peer = stream_.socket().remote_endpoint(ec);
    if (!ec) remote_address_ = peer.address().to_string();
  }

  ~Session() {
    {
      std::lock_guard lock(core_.mutex);
      core_.sessions.erase(this);
    }
    const size_t left = --core_.connections;
    // The last connection gone after Stop: the grace timer has nothing left to wait for.
    if (left == 0 && core_.stopping && !core_.destroying) {
      asio::post(core_.control, [weak = core_weak_] {
        if (auto core = weak.lock()) core->grace_timer.cancel();
      });
    }
  }

  void Start() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadHeader(); });
  }

  // Stop: an idle connection closes now; one with a request in flight closes after its answer.
  void OnStop() {
    stop_requested_ = true;
    if (!in_request_) Close();
  }

  void OnGraceOver() { Close(); }

  auto get_executor() { return stream_.get_executor(); }

  void OnResponse(uint64_t generation, HttpResponse response) {
    if (closed_ || !parked_ || generation != generation_) return;
    parked_ = false;
    pending_ = std::move(response);
    if (watching_) {
      // The watch read finishes (aborted, or with early bytes) and starts the write.
      error_code ec;
      stream_.socket().cancel(ec);
      return;
    }
    StartWrite();
  }

 private:
  void ReadHeader() {
    if (closed_) return;
    if (stop_requested_) return Close();
    in_request_ = false;
    logged_ = false;
    body_unread_ = false;
    close_after_ = false;
    started_ = {};
    status_ = 0;
    request_ = HttpRequest{};
    method_ = "-";
    raw_path_ = "-";
    header_parser_.emplace();
    header_parser_->header_limit(static_cast<uint32_t>(std::min<size_t>(core_.limits.max_header, UINT32_MAX)));
    header_parser_->body_limit(boost::none);  // checked against the right cap once the target is known
    stream_.expires_after(core_.limits.idle_timeout);
    http::async_read_header(stream_, buffer_, *header_parser_,
                            [self = shared_from_this()](error_code ec, size_t) { self->OnHeader(ec); });
  }

  void OnHeader(error_code ec) {
    if (closed_) return;
    if (ec) {
      if (ec == http::error::header_limit) return Refuse(431, "Request Header Fields Too Large");
      if (IsParseError(ec)) return Refuse(400, "Bad Request");
      return Close();  // the peer left, or stayed silent past the idle timeout
    }
    in_request_ = true;
    started_ = std::chrono::steady_clock::now();
    const auto& req = header_parser_->get();
    method_ = std::string(req.method_string());
    version_ = req.version();
    request_keep_alive_ = req.keep_alive();
    const std::string_view target(req.target().data(), req.target().size());
    raw_path_ = std::string(target.substr(0, target.find('?')));
    auto parsed = ParseHttpTarget(target);
    if (!parsed) return Refuse(400, "Bad Request");
    raw_path_ = std::move(parsed->raw_path);

    request_.method = method_;
    request_.path = std::move(parsed->path);
    request_.query = std::move(parsed->query);
    request_.authorization = std::string(req[http::field::authorization]);
    request_.content_type = std::string(req[http::field::content_type]);
    request_.remote_address = remote_address_;

    try {
      streams_ = core_.handler.StreamsBody(request_.method, request_.path);
    } catch (...) {
      return Refuse(500, "Internal Server Error");
    }
    if (header_parser_->is_done()) return Dispatch();

    body_unread_ = true;
    const uint64_t cap = streams_ ? core_.limits.max_upload : core_.limits.max_body;
    if (auto length = header_parser_->content_length(); length && *length > cap)
      return Refuse(413, "Payload Too Large");
    if (beast::iequals(req[http::field::expect], "100-continue")) {
      static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      stream_.expires_after(core_.limits.idle_timeout);
      return asio::async_write(stream_, asio::buffer(kContinue.data(), kContinue.size()),
                               [self = shared_from_this()](error_code ec, size_t) {
                                 if (self->closed_) return;
                                 if (ec) return self->Close();
                                 self->ReadBody();
                               });
    }
    ReadBody();
  }

  void ReadBody() {
    stream_.expires_after(core_.limits.idle_timeout);
    auto done = [self = shared_from_this()](error_code ec, size_t) { self->OnBody(ec); };
    if (!streams_) {
      string_parser_.emplace(std::move(*header_parser_));
      string_parser_->body_limit(core_.limits.max_body);
      return http::async_read(stream_, buffer_, *string_parser_, std::move(done));
    }
    std::error_code create_error;
    upload_ = HttpTempFile::Create(core_.temp_dir, create_error);
    if (create_error) return Refuse(500, "Internal Server Error");
    file_parser_.emplace(std::move(*header_parser_));
    file_parser_->body_limit(core_.limits.max_upload);
    error_code ec;
    file_parser_->get().body().open(upload_.path().c_str(), beast::file_mode::write, ec);
    if (ec) return Refuse(500, "Internal Server Error");
    http::async_read(stream_, buffer_, *file_parser_, std::move(done));
  }

  void OnBody(error_code ec) {
    if (closed_) return;
    if (ec) {
      upload_.Remove();
      if (ec == http::error::body_limit) return Refuse(413, "Payload Too Large");
      if (IsParseError(ec)) return Refuse(400, "Bad Request");
      return Close();
    }
    body_unread_ = false;
    if (string_parser_) {
      request_.body = std::move(string_parser_->get().body());
      request_.body_size = request_.body.size();
      string_parser_.reset();
    } else {
      auto& file = file_parser_->get().body();
      error_code size_error;
      request_.body_size = file.file().size(size_error);
      file.close();
      file_parser_.reset();
      if (size_error) return Refuse(500, "Internal Server Error");
      request_.body_file = upload_.path();
    }
    Dispatch();
  }

  void Dispatch() {
    header_parser_.reset();
    parked_ = true;
    const uint64_t generation = ++generation_;
    // A parked request is not idle: only the peer going away ends it before the answer.
    stream_.expires_never();
    Respond respond = [core = core_weak_, self = weak_from_this(), strand = stream_.get_executor(), generation,
                       once = std::make_shared<std::atomic<bool>>(false)](HttpResponse response) {
      if (once->exchange(true)) return;
      // Holding the core keeps the io_context alive while posting; the session may be gone.
      auto alive = core.lock();
      if (!alive) return;
      asio::post(strand, [self, generation, response = std::move(response)]() mutable {
        if (auto session = self.lock()) session->OnResponse(generation, std::move(response));
      });
    };
    try {
      core_.handler.Handle(std::move(request_), respond);
    } catch (...) {
      HttpResponse failure;
      failure.status = 500;
      failure.content_type = "text/plain";
      failure.body = "Internal Server Error";
      respond(std::move(failure));
    }
    Watch();
  }

  // While a request is parked, a read stays pending so that a peer that leaves is noticed at
  // once (the answer is dropped, a streamed body removed) and so the session stays owned.
  void Watch() {
    if (closed_ || !parked_) return;
    watching_ = true;
    stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](error_code ec, size_t n) {
      self->OnWatch(ec, n);
    });
  }

  void OnWatch(error_code ec, size_t n) {
    watching_ = false;
    if (closed_) return;
    if (!ec) {
      // Bytes sent early belong to the next request; a peer that floods instead is dropped.
      buffer_.commit(n);
      if (buffer_.size() > core_.limits.max_header) return Close();
    } else if (ec != asio::error::operation_aborted) {
      return Close();
    }
    if (pending_) return StartWrite();
    Watch();
  }

  void Refuse(int status, const char* reason) {
    in_request_ = true;
    if (started_ == std::chrono::steady_clock::time_point{}) started_ = std::chrono::steady_clock::now();
    close_after_ = true;
    body_unread_ = true;  // whatever follows the refused part may still be on its way
    HttpResponse response;
    response.status = status;
    response.content_type = "text/plain";
    response.body = reason;
    pending_ = std::move(response);
    StartWrite();
  }

  template <class Message>
  void Prepare(Message& message, const HttpResponse& response, bool keep_alive) {
    message.version(version_ == 10 ? 10 : 11);
    message.result(static_cast<unsigned>(status_));
    message.set(http::field::server, "veltrina");
    if (!response.content_type.empty()) message.set(http::field::content_type, response.content_type);
    for (const auto& [name, value] : response.headers) message.insert(name, value);
    message.keep_alive(keep_alive);
  }

  void StartWrite() {
    HttpResponse response = std::move(*pending_);
    pending_.reset();
    status_ = response.status >= 100 && response.status <= 999 ? response.status : 500;
    const bool keep_alive = request_keep_alive_ && !close_after_ && !stop_requested_;
    close_after_ = !keep_alive;

    if (!response.file.empty() && method_ != "HEAD") {
      http::response<http::file_body> message;
      error_code ec;
      message.body().open(response.file.c_str(), beast::file_mode::scan, ec);
      if (!ec) {
        Prepare(message, response, keep_alive);
        message.prepare_payload();
        out_ = std::move(message);
      } else {
        status_ = 500;
        response.file.clear();
        response.content_type = "text/plain";
        response.body = "Internal Server Error";
      }
    }
    if (std::holds_alternative<std::monostate>(out_)) {
      if (method_ == "HEAD") {
        http::response<http::empty_body> message;
        Prepare(message, response, keep_alive);
        std::error_code size_error;
        const uint64_t size =
            response.file.empty() ? response.body.size() : std::filesystem::file_size(response.file, size_error);
        if (size_error) status_ = 500;
        message.result(static_cast<unsigned>(status_));
        message.content_length(size_error ? 0 : size);
        out_ = std::move(message);
      } else {
        http::response<http::string_body> message;
        Prepare(message, response, keep_alive);
        message.body() = std::move(response.body);
        message.prepare_payload();
        out_ = std::move(message);
      }
    }
    stream_.expires_after(core_.limits.idle_timeout);
    std::visit(
        [this](auto& message) {
          if constexpr (!std::is_same_v<std::decay_t<decltype(message)>, std::monostate>) {
            http::async_write(stream_, message,
                              [self = shared_from_this()](error_code ec, size_t) { self->OnWrite(ec); });
          }
        },
        out_);
  }

  void OnWrite(error_code ec) {
    out_ = std::monostate{};
    Log(status_);
    upload_.Remove();
    if (closed_) return;
    if (ec) return Close();
    if (!close_after_) return ReadHeader();
    if (body_unread_) return Linger();
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    Close();
  }

  // The peer may still be sending the body we refused: read it away for a moment after our
  // answer, as closing with unread data would reset the connection before the peer reads it.
  void Linger() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLingerTime);
    DrainSome();
  }

  void DrainSome() {
    stream_.async_read_some(asio::buffer(drain_), [self = shared_from_this()](error_code ec, size_t) {
      if (self->closed_) return;
      if (ec) return self->Close();
      self->DrainSome();
    });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    if (in_request_) Log(kClientClosed);
    parked_ = false;
    pending_.reset();
    upload_.Remove();
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  void Log(int status) {
    if (logged_ || !in_request_) return;
    logged_ = true;
    if (!core_.log) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
    // The query may carry a token and the path is logged as sent: never a body or a header.
    core_.log(method_ + " " + raw_path_ + " " + std::to_string(status) + " " + std::to_string(ms) + "ms");
  }

  Core& core_;
  std::weak_ptr<Core> core_weak_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::string remote_address_;

  std::optional<http::request_parser<http::empty_body>> header_parser_;
  std::optional<http::request_parser<http::string_body>> string_parser_;
  std::optional<http::request_parser<http::file_body>> file_parser_;
  HttpTempFile upload_;
  HttpRequest request_;
  bool streams_ = false;

  // The request in flight, for the answer and the access log.
  std::string method_ = "-";
  std::string raw_path_ = "-";
  unsigned version_ = 11;
  bool request_keep_alive_ = false;
  std::chrono::steady_clock::time_point started_{};
  int status_ = 0;

  bool in_request_ = false;   // from its header to its answer (or the connection's end)
  bool body_unread_ = false;  // request bytes may still be on the wire: drain before closing
  bool parked_ = false;       // handed to the handler, not answered yet
  bool watching_ = false;
  bool close_after_ = false;
  bool stop_requested_ = false;
  bool closed_ = false;
  bool logged_ = false;
  uint64_t generation_ = 0;
  std::optional<HttpResponse> pending_;
  std::variant<std::monostate, http::response<http::string_body>, http::response<http::file_body>,
               http::response<http::empty_body>>
      out_;
  std::array<char, 4096> drain_{};
};

void Accept(const std::shared_ptr<Core>& core);

void OnAccepted(const std::shared_ptr<Core>& core, error_code ec, tcp::socket socket) {
  if (ec == asio::error::operation_aborted || core->stopping || !core->acceptor.is_open()) return;
  if (ec) {
    // Out of descriptors or similar: wait a little instead of spinning on the error.
    core->accept_retry.expires_after(std::chrono::milliseconds(100));
    core->accept_retry.async_wait([weak = std::weak_ptr<Core>(core)](error_code wait_error) {
      auto core = weak.lock();
      if (!wait_error && core) Accept(core);
    });
    return;
  }
  if (core->connections >= core->limits.max_connections) {
    error_code ignored;
    socket.close(ignored);
    return Accept(core);
  }
  ++core->connections;
  auto session = std::make_shared<Session>(core, std::move(socket));
  {
    std::lock_guard lock(core->mutex);
    core->sessions.emplace(session.get(), session);
  }
  session->Start();
  Accept(core);
}

void Accept(const std::shared_ptr<Core>& core) {
  // Each connection gets a strand of its own: its handlers never run concurrently.
  core->acceptor.async_accept(asio::make_strand(core->ioc), [weak = std::weak_ptr<Core>(core)](
                                                                error_code ec, tcp::socket socket) {
    if (auto core = weak.lock()) OnAccepted(core, ec, std::move(socket));
  });
}

}  // namespace

class HttpServer::Impl {
 public:
  std::shared_ptr<Core> core;
  uint16_t port = 0;
};

HttpServer::HttpServer(const std::string& address, uint16_t port, Handler& handler, HttpLimits limits,
                       std::string temp_dir, std::function<void(const std::string&)> log)
    : impl_(std::make_unique<Impl>()) {
  impl_->core = std::make_shared<Core>(handler, limits, std::move(temp_dir), std::move(log));
  auto& acceptor = impl_->core->acceptor;
  error_code ec;
  const auto ip = asio::ip::make_address(address, ec);
  if (ec) throw std::runtime_error("bad listen address '" + address + "': " + ec.message());
  const tcp::endpoint endpoint(ip, port);
  if (!ec) acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " + ec.message());
  impl_->port = acceptor.local_endpoint().port();
  Accept(impl_->core);
}

HttpServer::~HttpServer() {
  // Run has returned (or never ran); queued handlers and sessions go with the io_context.
  impl_->core->ioc.stop();
}

uint16_t HttpServer::port() const { return impl_->port; }

void HttpServer::Run(int threads) {
  auto& ioc = impl_->core->ioc;
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back([&ioc] { ioc.run(); });
  ioc.run();
  for (auto& thread : pool) thread.join();
}

void HttpServer::Stop(std::chrono::milliseconds grace) {
  // Handlers left queued hold the core weakly: one still queued when the server goes must not
  // keep it (and its io_context) alive.
  auto& control = impl_->core->control;
  asio::post(control, [weak = std::weak_ptr<Core>(impl_->core), grace] {
    auto core = weak.lock();
    if (!core || core->stopping.exchange(true)) return;
    error_code ignored;
    core->acceptor.close(ignored);
    core->accept_retry.cancel();
    for (auto& session : core->LiveSessions())
      asio::post(session->get_executor(), [session] { session->OnStop(); });
    if (core->connections == 0) return;
    core->grace_timer.expires_after(grace);
    core->grace_timer.async_wait([weak](error_code ec) {
      auto core = weak.lock();
      if (ec || !core) return;  // every connection closed in time
      for (auto& session : core->LiveSessions())
        asio::post(session->get_executor(), [session] { session->OnGraceOver(); });
    });
  });
}

}  // namespace veltrina::server
