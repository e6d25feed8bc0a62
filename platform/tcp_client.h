#pragma once
// The TCP client of the reachability probe: IPv4, one connect with no time-out of its own that
// another thread can abandon, and an open test that does not wait.
#include <cstdint>
#include <string>

#include "platform/cancel.h"
#include "platform/socket.h"

namespace travik::net {

class TcpClient {
 public:
  // Resolves host (a dotted address is used as it is) and connects once. Raises SocketError.
  // Without `cancel` the connect blocks until the operating system decides. With it, the connect
  // looks at the flag every 10 ms and raises CancelledError once it is set (name resolution is
  // not covered: it cannot be abandoned).
  void Connect(const std::string& host, std::uint16_t port, const CancelFlag* cancel = nullptr);
  // Connected, and no orderly close or error pending; data already sent by the peer is dropped.
  [[nodiscard]] bool Connected();
  void Disconnect() noexcept { socket_.Close(); }

 private:
  Socket socket_;
};

}  // namespace travik::net
