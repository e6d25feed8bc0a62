#pragma once
// A listening socket on 127.0.0.1 for the test servers and benchmarks (loopback only), over the
// socket layer's shim.
#include <chrono>
#include <cstdint>

#include "platform/socket.h"
#include "platform/socket_shim.h"

namespace travik::test {

class Listener {
 public:
  // Port 0 lets the system choose; read it back with Port().
  [[nodiscard]] static Listener OnLoopback(std::uint16_t port = 0, int backlog = 16) {
    Listener listener;
    listener.socket_ = net::Socket::OpenTcp();
    net::Ipv4Address loopback;
    loopback.octets = {127, 0, 0, 1};
    if (!net::shim::Listen(listener.socket_.Handle(), loopback, port, backlog)) {
      throw net::SocketError(net::shim::LastError());
    }
    return listener;
  }

  [[nodiscard]] std::uint16_t Port() const {
    std::uint16_t port = 0;
    if (!net::shim::LocalAddress(socket_.Handle(), &port)) {
      throw net::SocketError(net::shim::LastError());
    }
    return port;
  }

  // Waits up to timeout_ms for a connection; returns an invalid Socket on time-out.
  [[nodiscard]] net::Socket Accept(int timeout_ms) {
    const int ready = net::shim::Wait(socket_.Handle(), false, timeout_ms);
    if (ready < 0) throw net::SocketError(net::shim::LastError());
    if (ready == 0) return net::Socket();
    const net::shim::Handle accepted = net::shim::Accept(socket_.Handle());
    if (accepted == net::shim::kInvalid) throw net::SocketError(net::shim::LastError());
    return net::Socket(accepted, true);
  }

  [[nodiscard]] bool Valid() const { return socket_.Valid(); }
  void Close() noexcept { socket_.Close(); }

 private:
  net::Socket socket_;
};

// Waits up to timeout_ms for data, a close or an error on a test server's connection.
[[nodiscard]] inline bool WaitReadable(net::Socket& socket, int timeout_ms) {
  static const net::CancelFlag never{false};
  return socket.WaitReadable(net::Clock::now() + std::chrono::milliseconds(timeout_ms), never);
}

// Connects a test's own client socket to 127.0.0.1:port.
inline void ConnectOnLoopback(net::Socket& socket, std::uint16_t port) {
  static const net::CancelFlag never{false};
  (void)socket.Connect(net::Ipv4Address{{127, 0, 0, 1}}, port, never);
}

}  // namespace travik::test
