#pragma once
// A TCP server on loopback for the benchmarks: it accepts the connections made to it on a thread
// of its own and holds them open until it stops, so that every probe finds its connection open.
// It stops when destroyed, after `lifetime`, or when it holds kMaxHeldConnections.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/windows/bench_figures.h"
#include "core/check_run.h"
#include "platform/socket.h"

namespace travik::bench {

class LoopbackServer {
 public:
  static constexpr std::size_t kMaxHeldConnections = 8192;

  explicit LoopbackServer(std::chrono::seconds lifetime)
      : listener_(net::Listener::OnLoopback(0, 1024)),
        deadline_(Clock::now() + lifetime),
        thread_([this] { Serve(); }) {}
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  [[nodiscard]] core::NetworkEndpoint Endpoint() const { return {"127.0.0.1", port_}; }

 private:
  void Serve() {
    std::vector<net::Socket> held;
    while (!stop_ && Clock::now() < deadline_ && held.size() < kMaxHeldConnections) {
      try {
        net::Socket accepted = listener_.Accept(20);
        if (accepted.Valid()) held.push_back(std::move(accepted));
      } catch (const net::SocketError& e) {
        std::fprintf(stderr, "accept failed: %s\n", e.what());
        break;
      }
    }
  }

  net::Listener listener_;
  std::uint16_t port_ = listener_.Port();
  Clock::time_point deadline_;
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace travik::bench
