#include "core/probes.h"

namespace travik::core {

void SocketTcpProbe::Connect(const std::string& host, std::uint16_t port,
                             const CancelFlag& cancel) {
  client_.Connect(host, port, cancel);
}

std::optional<net::FtpReply> SocketFtpProbe::Connect(const net::FtpSettings& settings,
                                                     const CancelFlag& cancel) {
  net::FtpSettings cancellable = settings;
  cancellable.cancel = &cancel;
  client_.Connect(cancellable);
  return client_.LoginReply();
}

ProbeClients SocketProbeClients(const net::LookUp& look_up) {
  return {[look_up] { return std::make_unique<SocketTcpProbe>(look_up); },
          [look_up] { return std::make_unique<SocketFtpProbe>(look_up); }};
}

}  // namespace travik::core
