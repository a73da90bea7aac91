#include <winsock2.h>
#include <ws2tcpip.h>

#include "veltrina/testing/local_http_server.h"

namespace veltrina::test_support {

LocalHttpServer::LocalHttpServer(std::string response) : response_(std::move(response)) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
  listen(listener_, 16);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  acceptor_ = std::thread([this] {
    for (SOCKET client; (client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
      std::lock_guard<std::mutex> lock(mutex_);
      clients_.emplace_back([this, client] { Serve(client); });
    }
  });
}

LocalHttpServer::~LocalHttpServer() {
  Release();
  closesocket(listener_);  // ends the acceptor's accept()
  acceptor_.join();
  for (std::thread& t : clients_) t.join();
  WSACleanup();
}

void LocalHttpServer::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  release_.notify_all();
}

std::string LocalHttpServer::heads() {
  std::lock_guard<std::mutex> lock(mutex_);
  return heads_;
}

std::string LocalHttpServer::Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void LocalHttpServer::Serve(uintptr_t client) {
  std::string head;
  char buffer[4096];
  for (int n = 0; head.find("\r\n\r\n") == std::string::npos && (n = recv(client, buffer, sizeof buffer, 0)) > 0;)
    head.append(buffer, static_cast<size_t>(n));
  std::unique_lock<std::mutex> lock(mutex_);
  heads_ += head;
  if (head.find(" /slow") != std::string::npos) release_.wait(lock, [this] { return released_; });
  lock.unlock();
  send(client, response_.data(), static_cast<int>(response_.size()), 0);
  shutdown(client, SD_SEND);
  closesocket(client);
}

}  // namespace veltrina::test_support
