#pragma once
// The TCP client of the reachability probe: IPv4, one connect with no time-out of its own (the
// operating system's applies) that a stop request abandons, and an open test that does not wait.
#include <cstdint>
#include <stop_token>
#include <string>
#include <utility>

#include "platform/socket.h"

namespace travik::net {

class TcpClient {
 public:
  explicit TcpClient(LookUp look_up = SystemLookUp) : look_up_(std::move(look_up)) {}

  // Resolves host (a dotted address is used as it is) and connects once. Raises SocketError, and
  // CancelledError once a stop is requested.
  void Connect(const std::string& host, std::uint16_t port, const std::stop_token& stop);
  // Connected, and no orderly close or error pending; data already sent by the peer is dropped.
  [[nodiscard]] bool Connected() { return socket_.IsOpen(); }
  void Disconnect() noexcept { socket_.Close(); }

 private:
  LookUp look_up_;
  Socket socket_;
};

}  // namespace travik::net
