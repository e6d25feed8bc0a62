#include "platform/tcp_client.h"

namespace travik::net {

void TcpClient::Connect(const std::string& host, std::uint16_t port, const std::stop_token& stop) {
  Disconnect();
  const Ipv4Address address = ResolveIpv4(host, look_up_, stop);
  Socket socket = Socket::OpenTcp();
  (void)socket.Connect(address, port, stop);  // no deadline: true or an error
  socket_ = std::move(socket);
}

}  // namespace travik::net
