#include "platform/tcp_client.h"

namespace travik::net {

void TcpClient::Connect(const std::string& host, std::uint16_t port, const CancelFlag& cancel) {
  Disconnect();
  const Ipv4Address address = ResolveIpv4(host, look_up_, cancel);
  Socket socket = Socket::OpenTcp();
  (void)socket.Connect(address, port, cancel);  // no deadline: true or an error
  socket_ = std::move(socket);
}

}  // namespace travik::net
