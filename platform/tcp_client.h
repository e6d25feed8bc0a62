#pragma once
// The TCP client of the reachability probe: IPv4, one blocking connect with no time-out of its
// own, and an open test that does not wait.
#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace travik::net {

class TcpClient {
 public:
  // Resolves host (a dotted address is used as it is) and connects once. Raises SocketError.
  void Connect(const std::string& host, std::uint16_t port);
  // Connected, and no orderly close or error pending; data already sent by the peer is dropped.
  [[nodiscard]] bool Connected();
  void Disconnect() noexcept { socket_.Close(); }

 private:
  Socket socket_;
};

}  // namespace travik::net
