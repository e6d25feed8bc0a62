#include "core/probes.h"

namespace travik::core {

void SocketTcpProbe::Connect(const std::string& host, std::uint16_t port,
                             const CancelFlag& cancel) {
  (void)cancel;
  client_.Connect(host, port);
}

std::optional<net::FtpReply> SocketFtpProbe::Connect(const net::FtpSettings& settings,
                                                     const CancelFlag& cancel) {
  (void)cancel;
  client_.Connect(settings);
  return std::nullopt;
}

}  // namespace travik::core
