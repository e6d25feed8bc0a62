#include "platform/tcp_client.h"

#include <utility>

namespace travik::net {

void TcpClient::Connect(const std::string& host, std::uint16_t port, const CancelFlag* cancel) {
  Disconnect();
  const Ipv4Address address = ResolveIpv4(host);
  Socket socket = Socket::OpenTcp();
  if (cancel == nullptr) {
    socket.Connect(address, port);
  } else if (!socket.ConnectUnless(address, port, *cancel)) {
    throw CancelledError();
  }
  socket_ = std::move(socket);
}

bool TcpClient::Connected() {
  return socket_.IsOpen();
}

}  // namespace travik::net
