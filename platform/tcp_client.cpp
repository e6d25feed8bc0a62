#include "platform/tcp_client.h"

namespace travik::net {

void TcpClient::Connect(const std::string& host, std::uint16_t port) {
  Disconnect();
  const Ipv4Address address = ResolveIpv4(host);
  socket_ = Socket::OpenTcp();
  socket_.Connect(address, port);
}

bool TcpClient::Connected() {
  return socket_.IsOpen();
}

}  // namespace travik::net
