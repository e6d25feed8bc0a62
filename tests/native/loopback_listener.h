#pragma once
// The server's side of the tests' and benchmarks' connections, on 127.0.0.1 only. What the
// program itself does with a socket (send, receive, wait, close) goes through its socket shim;
// what only a server does (bind, listen, accept, read back its port, cork a reply with its close)
// the program never needs, so those calls are made here (loopback_listener.cpp).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/socket.h"
#include "platform/socket_shim.h"

namespace travik::test {

// A move-only socket of a test server: a listener, or a connection it accepted. Errors raise
// net::SocketError.
class TestSocket {
 public:
  TestSocket() = default;
  explicit TestSocket(net::shim::Handle handle) : handle_(handle) {}
  ~TestSocket() { Close(); }
  TestSocket(TestSocket&& other) noexcept;
  TestSocket& operator=(TestSocket&& other) noexcept;
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;

  [[nodiscard]] bool Valid() const { return handle_ != net::shim::kInvalid; }
  [[nodiscard]] net::shim::Handle Handle() const { return handle_; }
  void Close() noexcept;

  void SendAll(std::string_view data);
  // Sends `data` and then the end of the stream, in one segment where the system allows it
  // (Linux holds the data back until the shutdown); the receiving half stays open.
  void SendAllThenFin(std::string_view data);
  // What is there (at least one byte unless the peer has closed: 0).
  [[nodiscard]] std::size_t Receive(char* buffer, std::size_t size);
  // Up to timeout_ms for data, a close or an error.
  [[nodiscard]] bool WaitReadable(int timeout_ms);
  // Without waiting: the peer has neither closed the connection nor reset it (what it sent is
  // dropped).
  [[nodiscard]] bool IsOpen();

 private:
  net::shim::Handle handle_ = net::shim::kInvalid;
};

class Listener {
 public:
  // Port 0 lets the system choose; read it back with Port().
  [[nodiscard]] static Listener OnLoopback(std::uint16_t port = 0, int backlog = 16);
  // A port of 127.0.0.1 that the system chooses, bound but never listening: a connect to it is
  // refused, and no other socket is given the port while this one holds it (a port merely
  // closed again may be handed to the next server a test starts).
  [[nodiscard]] static Listener RefusingOnLoopback();

  [[nodiscard]] std::uint16_t Port() const;
  // Waits up to timeout_ms for a connection; returns an invalid TestSocket on time-out.
  [[nodiscard]] TestSocket Accept(int timeout_ms);

  [[nodiscard]] bool Valid() const { return socket_.Valid(); }
  void Close() noexcept { socket_.Close(); }

 private:
  TestSocket socket_;
};

// Waits up to timeout_ms for data, a close or an error on a test server's connection.
[[nodiscard]] inline bool WaitReadable(TestSocket& socket, int timeout_ms) {
  return socket.WaitReadable(timeout_ms);
}

// Connects a test's own client socket to 127.0.0.1:port.
inline void ConnectOnLoopback(net::Socket& socket, std::uint16_t port) {
  (void)socket.Connect(net::Ipv4Address{{127, 0, 0, 1}}, port, {});
}

}  // namespace travik::test
