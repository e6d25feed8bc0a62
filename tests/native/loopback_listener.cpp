#include "tests/native/loopback_listener.h"

#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace travik::test {
namespace {

#ifdef _WIN32
using Native = SOCKET;
using Length = int;
constexpr int kShutdownSend = SD_SEND;
#else
using Native = int;
using Length = socklen_t;
constexpr int kShutdownSend = SHUT_WR;
#endif

Native N(net::shim::Handle handle) {
  return static_cast<Native>(handle);
}

[[noreturn]] void RaiseLast() {
  throw net::SocketError(net::shim::LastError());
}

// A TCP socket bound to 127.0.0.1:port.
TestSocket BoundOnLoopback(std::uint16_t port) {
  const net::shim::Handle handle = net::shim::OpenTcp();
  if (handle == net::shim::kInvalid) RaiseLast();
  TestSocket socket(handle);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(N(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    RaiseLast();
  }
  return socket;
}

}  // namespace

TestSocket::TestSocket(TestSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, net::shim::kInvalid)) {}

TestSocket& TestSocket::operator=(TestSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, net::shim::kInvalid);
  }
  return *this;
}

void TestSocket::Close() noexcept {
  if (Valid()) net::shim::Close(handle_);
  handle_ = net::shim::kInvalid;
}

void TestSocket::SendAll(std::string_view data) {
  while (!data.empty()) {
    const std::ptrdiff_t sent = net::shim::Send(handle_, data.data(), data.size());
    if (sent < 0) RaiseLast();
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
}

void TestSocket::SendAllThenFin(std::string_view data) {
#ifdef _WIN32
  SendAll(data);
  ::shutdown(N(handle_), kShutdownSend);
#else
  const int on = 1, off = 0;
  setsockopt(N(handle_), IPPROTO_TCP, TCP_CORK, &on, sizeof on);
  SendAll(data);
  ::shutdown(N(handle_), kShutdownSend);
  setsockopt(N(handle_), IPPROTO_TCP, TCP_CORK, &off, sizeof off);
#endif
}

std::size_t TestSocket::Receive(char* buffer, std::size_t size) {
  const std::ptrdiff_t got = net::shim::Receive(handle_, buffer, size);
  if (got < 0) RaiseLast();
  return static_cast<std::size_t>(got);
}

bool TestSocket::WaitReadable(int timeout_ms) {
  const int ready = net::shim::Wait(handle_, false, timeout_ms);
  if (ready < 0) RaiseLast();
  return ready > 0;
}

bool TestSocket::IsOpen() {
  constexpr int kMaxDrains = 64;  // a peer that keeps sending counts as open after this much
  char sink[4096];
  for (int i = 0; Valid() && i < kMaxDrains; ++i) {
    const int ready = net::shim::Wait(handle_, false, 0);
    if (ready == 0) return true;
    if (ready < 0 || net::shim::Receive(handle_, sink, sizeof sink) <= 0) return false;
  }
  return Valid();
}

Listener Listener::OnLoopback(std::uint16_t port, int backlog) {
  Listener listener;
  listener.socket_ = BoundOnLoopback(port);
  if (::listen(N(listener.socket_.Handle()), backlog) != 0) RaiseLast();
  return listener;
}

Listener Listener::RefusingOnLoopback() {
  Listener listener;
  listener.socket_ = BoundOnLoopback(0);
  return listener;
}

std::uint16_t Listener::Port() const {
  sockaddr_in address{};
  Length length = sizeof address;
  if (::getsockname(N(socket_.Handle()), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    RaiseLast();
  }
  return ntohs(address.sin_port);
}

TestSocket Listener::Accept(int timeout_ms) {
  if (!socket_.WaitReadable(timeout_ms)) return TestSocket();
  const Native accepted = ::accept(N(socket_.Handle()), nullptr, nullptr);
#ifdef _WIN32
  if (accepted == INVALID_SOCKET) RaiseLast();
#else
  if (accepted < 0) RaiseLast();
#endif
  return TestSocket(static_cast<net::shim::Handle>(accepted));
}

}  // namespace travik::test
