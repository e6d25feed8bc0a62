#include "core/probes.h"

namespace travik::core {

ProbeClients SocketProbeClients(const net::LookUp& look_up) {
  return {[look_up] { return std::make_unique<SocketTcpProbe>(look_up); },
          [look_up] { return std::make_unique<SocketFtpProbe>(look_up); }};
}

}  // namespace travik::core
