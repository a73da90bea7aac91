#include "program_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "json_util.h"

extern char** environ;

namespace server_test {

namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;

HttpResult Http(uint16_t port, const std::string& method, const std::string& target, const std::string& body,
                const std::string& token, std::chrono::seconds timeout) {
  HttpResult result;
  try {
    asio::io_context io;
    beast::tcp_stream stream(io);
    stream.expires_after(timeout);
    stream.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    http::request<http::string_body> request(http::string_to_verb(method), target, 11);
    request.set(http::field::host, "127.0.0.1");
    if (!token.empty()) request.set(http::field::authorization, "Bearer " + token);
    if (method == "POST") request.set(http::field::content_type, "application/json");
    request.body() = body;
    request.prepare_payload();
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(512ull << 20);
    http::read(stream, buffer, parser);
    result.status = static_cast<int>(parser.get().result_int());
    result.body = parser.get().body();
    beast::error_code ignored;
    stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  } catch (const std::exception&) {
    result.status = 0;
  }
  return result;
}

const std::map<std::string, std::string> kCheap = {{"VELTRINA_CHEAP_HASHES", "1"}};

Signed SignIn(uint16_t port, const std::string& user, const std::string& password, const std::string& team) {
  using veltrina::internal::json;
  HttpResult r = Http(port, "POST", "/api/v1/auth.login",
                      json{{"username", user}, {"password", password}, {"team_id", team}}.dump());
  const json answer = veltrina::internal::Parse(r.body);
  EXPECT_EQ(answer.value("ok", false), true) << r.body;
  if (!answer.is_object() || !answer.contains("body")) return {};
  return {answer["body"]["token"].value("access_token", ""), answer["body"].value("seq", int64_t{0})};
}

std::string Send(const std::string& text, const std::string& client_id) {
  using veltrina::internal::json;
  return json{{"message", {{"channel_id", "c-general"}, {"content", text}}}, {"client_msg_id", client_id}}.dump();
}

std::vector<std::string> History(uint16_t port, const std::string& token) {
  using veltrina::internal::json;
  const json answer = veltrina::internal::Parse(
      Http(port, "POST", "/api/v1/messages.history", json{{"channel_id", "c-general"}, {"count", 200}}.dump(), token).body);
  std::vector<std::string> texts;
  if (answer.is_object() && answer.contains("body"))
    for (const json& m : answer["body"]["messages"]) texts.push_back(m.value("content", ""));
  return texts;
}

Program::Program(const std::string& exe, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& stdin_text) {
  int err[2], in[2];
  if (pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  std::vector<std::string> words{exe};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(err[1]);
  close(in[0]);
  if (!stdin_text.empty() && write(in[1], stdin_text.data(), stdin_text.size()) < 0) {
  }
  close(in[1]);
  reader_ = std::thread([this, fd = err[0]] {
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
  });
}

Program::~Program() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    Wait();
  }
  if (reader_.joinable()) reader_.join();
}

uint16_t Program::WaitForPort(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  static const std::regex serves(R"(serves .* on [0-9.]+:([0-9]+))");
  while (std::chrono::steady_clock::now() < until) {
    std::smatch match;
    const std::string log = Log();
    if (std::regex_search(log, match, serves)) return static_cast<uint16_t>(std::stoi(match[1]));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

int Program::Wait(std::chrono::milliseconds timeout) {
  if (ended_) return status_;
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      ended_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

void Program::Signal(int signal) {
  if (pid_ > 0 && !ended_) kill(pid_, signal);
}

std::string Program::Log() {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "veltrina-server-test-XXXXXX").string();
  path_ = mkdtemp(pattern.data()) ? pattern : std::string();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace server_test
