#pragma once
// The remote services the check run reaches. Host names only, never address literals; tests hand
// the window loopback endpoints instead.
#include <array>
#include <cstdint>
#include <string_view>

namespace travik {

struct Endpoint {
  std::string_view host;
  std::uint16_t port;
};

// Broadcast (diffusion) servers of the market-data service, probed in this order.
inline constexpr std::array<Endpoint, 2> kBroadcastServers = {{
    {"difusor1.korvena.com.br", 81},
    {"difusor2.korvena.com.br", 81},
}};

// The international data feed: two numbered servers, its own domain and one further server.
inline constexpr std::array<Endpoint, 4> kInternationalServers = {{
    {"srv1.feed.korvena.com.br", 7500},
    {"srv2.feed.korvena.com.br", 7500},
    {"feed.korvena.com.br", 80},
    {"www.feed.korvena.com.br", 80},
}};

// The platform's file server.
inline constexpr Endpoint kFtpServer = {"ftp.korvena.com.br", 21};

}  // namespace travik
