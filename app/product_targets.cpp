#include "app/product_targets.h"

namespace travik {

core::NetworkTargets ProductTargets() {
  core::NetworkTargets targets;
  // Broadcast (diffusion) servers of the market-data service: a failure is a secondary error.
  targets.broadcast = {{
      {"difusor1.korvena.com.br", 81},
      {"difusor2.korvena.com.br", 81},
  }};
  // The international data feed: two numbered servers, its own domain and one further server.
  targets.international = {{
      {"srv1.feed.korvena.com.br", 7500},
      {"srv2.feed.korvena.com.br", 7500},
      {"feed.korvena.com.br", 80},
      {"www.feed.korvena.com.br", 80},
  }};
  // The platform's file server and the test account whose login the probe attempts.
  targets.ftp.host = "ftp.korvena.com.br";
  targets.ftp.port = 21;
  targets.ftp.user = "qzvk";
  targets.ftp.password = "qzvk";
  targets.ftp.connect_timeout_ms = 5000;
  targets.ftp.read_timeout_ms = 10000;
  return targets;
}

}  // namespace travik
