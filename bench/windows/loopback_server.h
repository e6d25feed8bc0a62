#pragma once
// A TCP server on loopback for the benchmarks: it accepts every connection made to it and holds
// it open without ever sending a byte, so that a TCP probe finds its connection open and an FTP
// client waits for a greeting that never comes. It runs on a thread of its own and stops by
// itself: when destroyed, after its lifetime, or after kMaxAccepted connections. Connections
// whose client has gone are let go now and then, so that what it holds stays small.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "core/check_run.h"
#include "platform/socket.h"
#include "tests/native/loopback_listener.h"

namespace travik::bench {

class LoopbackServer {
 public:
  static constexpr std::size_t kMaxAccepted = 20000;

  explicit LoopbackServer(std::chrono::seconds lifetime)
      : listener_(test::Listener::OnLoopback(0, 1024)),
        deadline_(std::chrono::steady_clock::now() + lifetime),
        thread_([this] { Serve(); }) {}
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  [[nodiscard]] core::NetworkEndpoint Endpoint() const { return {"127.0.0.1", port_}; }
  [[nodiscard]] std::uint16_t Port() const { return port_; }

 private:
  static constexpr int kAcceptWaitMs = 20;
  static constexpr std::size_t kSweepEvery = 64;  // accepted connections between two sweeps

  void Serve() {
    std::vector<test::TestSocket> held;
    std::size_t accepted = 0;
    while (!stop_ && std::chrono::steady_clock::now() < deadline_ && accepted < kMaxAccepted) {
      try {
        test::TestSocket socket = listener_.Accept(kAcceptWaitMs);
        if (!socket.Valid()) continue;
        held.push_back(std::move(socket));
        if (++accepted % kSweepEvery == 0) Sweep(held);
      } catch (const net::SocketError& e) {
        std::fprintf(stderr, "loopback server: accept failed: %s\n", e.what());
        break;
      }
    }
  }

  // Lets go of the connections that their clients have closed.
  static void Sweep(std::vector<test::TestSocket>& held) {
    std::vector<test::TestSocket> open;
    open.reserve(held.size());
    for (test::TestSocket& socket : held) {
      if (socket.IsOpen()) open.push_back(std::move(socket));
    }
    held = std::move(open);
  }

  test::Listener listener_;
  std::uint16_t port_ = listener_.Port();
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace travik::bench
